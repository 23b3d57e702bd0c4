#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "platform/os/file_manager.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class RealFileManager : public FileManager {
 public:
  bool removeItemAtPath(const std::string& path) override {
    // remove_all unlinks symbolic links instead of descending into them.
    std::error_code error;
    fs::remove_all(path, error);
    return fs::symlink_status(path, error).type() == fs::file_type::not_found;
  }

  std::optional<DiskSpace> diskSpaceAt(const std::string& path) override {
    std::error_code error;
    fs::path place = fs::absolute(path, error);
    if (error) return std::nullopt;
    while (true) {
      struct stat info {};
      const fs::space_info space = fs::space(place, error);
      if (!error && stat(place.c_str(), &info) == 0) {
        return DiskSpace{static_cast<std::uint64_t>(info.st_dev),
                         space.available, space.capacity};
      }
      if (place == place.parent_path()) return std::nullopt;
      place = place.parent_path();
    }
  }
};

}  // namespace

FileManager& FileManager::Real() {
  static RealFileManager manager;
  return manager;
}

}  // namespace platform
