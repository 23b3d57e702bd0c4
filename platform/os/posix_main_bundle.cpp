#include <filesystem>
#include <system_error>

#include "platform/os/main_bundle.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Mirrors the bundle rules of the product's home platform: an executable in
// X.app/Contents/MacOS belongs to X.app; a bare one is its own bundle.
class RealMainBundle : public MainBundle {
 public:
  std::optional<BundlePaths> mainBundle() override {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) return std::nullopt;

    const fs::path macos = executable.parent_path();
    const fs::path contents = macos.parent_path();
    const fs::path bundle = contents.parent_path();
    if (macos.filename() == "MacOS" && contents.filename() == "Contents" &&
        bundle.extension() == ".app") {
      return BundlePaths{bundle.string(), (contents / "Resources").string()};
    }
    return BundlePaths{macos.string(), macos.string()};
  }
};

}  // namespace

MainBundle& MainBundle::Real() {
  static RealMainBundle bundle;
  return bundle;
}

}  // namespace platform
