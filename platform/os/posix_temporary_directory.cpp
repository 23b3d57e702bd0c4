#include <cstdlib>

#include "platform/os/temporary_directory.h"

namespace platform {
namespace {

class RealTemporaryDirectory : public TemporaryDirectory {
 public:
  std::optional<std::string> temporaryDirectory() override {
    const char* value = std::getenv("TMPDIR");
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
  }
};

}  // namespace

TemporaryDirectory& TemporaryDirectory::Real() {
  static RealTemporaryDirectory directory;
  return directory;
}

}  // namespace platform
