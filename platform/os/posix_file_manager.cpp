#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "platform/os/file_manager.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

bool isRealDirectory(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

// Gives the owner full access to "path" and every directory below it (links
// not followed), so that what they hold can be listed and removed.
void openUp(const fs::path& path) {
  std::error_code error;
  if (!isRealDirectory(path)) return;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
  for (fs::recursive_directory_iterator
           it(path, fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    if (isRealDirectory(it->path())) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                      error);
    }
  }
}

class RealFileManager : public FileManager {
 public:
  bool removeItemAtPath(const std::string& path) override {
    if (removeAll(path)) return true;
    // A program run from the tree (an install agent, say) may have made
    // its own directories unwritable.
    openUp(path);
    return removeAll(path);
  }

 private:
  static bool removeAll(const std::string& path) {
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
