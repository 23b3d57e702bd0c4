#include "platform/os/file_manager.h"

namespace platform {

std::string appendPathComponent(const std::string& directory,
                                const std::string& name) {
  if (directory.empty()) return name;
  std::string::size_type end = directory.find_last_not_of('/');
  // A directory made only of separators is the root.
  std::string joined =
      end == std::string::npos ? std::string() : directory.substr(0, end + 1);
  return joined + "/" + name;
}

}  // namespace platform
