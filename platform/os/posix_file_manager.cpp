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
};

}  // namespace

FileManager& FileManager::Real() {
  static RealFileManager manager;
  return manager;
}

}  // namespace platform
