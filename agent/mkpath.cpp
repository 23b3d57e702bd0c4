#include "agent/mkpath.h"

#include <errno.h>
#include <sys/stat.h>

namespace {

// Makes sure "path" is a directory, creating it when nothing is there.
int ensureDirectory(const std::string& path, mode_t mode) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (mkdir(path.c_str(), mode) == 0) return 0;
    const int mkdirError = errno;
    // Another process may have made it since stat; then judge what is there.
    if (mkdirError != EEXIST || stat(path.c_str(), &info) != 0) {
      errno = mkdirError;
      return -1;
    }
  }
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return -1;
  }
  return 0;
}

}  // namespace

int mkpath(std::string path, std::uint16_t mode) {
  for (std::string::size_type i = 1; i < path.size(); ++i) {
    // The root and repeated separators end no component.
    if (path[i] != '/' || path[i - 1] == '/') continue;
    if (ensureDirectory(path.substr(0, i), mode) != 0) return -1;
  }
  return ensureDirectory(path, mode);
}
