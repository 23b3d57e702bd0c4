#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/os/file_manager.h"
#include "platform/os/temporary_directory.h"

namespace platform {
namespace {

// The working directory's path goes on shell and unzip command lines: a
// relative one, "-d" say, would read as an option there.
std::optional<std::string> absolute(const std::string& path) {
  if (path[0] == '/') return path;
  const std::unique_ptr<char, decltype(&std::free)> current(
      getcwd(nullptr, 0), &std::free);
  if (!current) return std::nullopt;
  return appendPathComponent(current.get(), path);
}

class RealTemporaryDirectory : public TemporaryDirectory {
 public:
  std::optional<std::string> temporaryDirectory() override {
    const char* value = std::getenv("TMPDIR");
    if (value == nullptr || *value == '\0') return std::nullopt;
    return absolute(value);
  }
};

}  // namespace

TemporaryDirectory& TemporaryDirectory::Real() {
  static RealTemporaryDirectory directory;
  return directory;
}

}  // namespace platform
