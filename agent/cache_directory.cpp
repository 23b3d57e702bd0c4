#include "agent/cache_directory.h"

#include <errno.h>
#include <sys/stat.h>

#include "agent/mkpath.h"
#include "agent/private_file.h"
#include "base/constants.h"
#include "platform/os/posix_error.h"

bool checkCacheDirectory(const std::string& cacheDir, bool create,
                         std::string* error) {
  const std::string home =
      cacheDir.substr(0, cacheDir.size() - cacheSubpath.size());
  const std::string cannotCreate =
      "Could not create a directory in " + cacheDir;
  errno = 0;
  if (create && !home.empty() && mkpath(home, 0700) != 0) {
    *error = platform::posixError(cannotCreate, errno);
    return false;
  }
  // Each directory from ".vorpex" down, the cache directory last.
  for (std::string::size_type end = cacheDir.find('/', home.size());
       end != std::string::npos; end = cacheDir.find('/', end + 1)) {
    const std::string dir = cacheDir.substr(0, end);
    struct stat info;
    if (create && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = platform::posixError(cannotCreate, errno);
      return false;
    }
    if (lstat(dir.c_str(), &info) != 0) {
      *error = platform::posixError("Could not use " + dir, errno);
      return false;
    }
    if (!S_ISDIR(info.st_mode) || !isPrivateEntry(info)) {
      *error = dir +
               " is not a directory of this user's that only the user may "
               "change.";
      return false;
    }
  }
  return true;
}
