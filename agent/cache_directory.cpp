#include "agent/cache_directory.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include "agent/mkpath.h"
#include "agent/private_file.h"
#include "base/constants.h"

std::string checkCacheDirectory(const std::string& cacheDir, bool create) {
  const std::string home =
      cacheDir.substr(0, cacheDir.size() - cacheSubpath.size());
  errno = 0;
  if (create && !home.empty() && mkpath(home, 0700) != 0) {
    return "Could not create a directory in " + cacheDir + ": " +
           strerror(errno) + ".";
  }
  // Each directory from ".vorpex" down, the cache directory last.
  for (std::string::size_type end = cacheDir.find('/', home.size());
       end != std::string::npos; end = cacheDir.find('/', end + 1)) {
    const std::string dir = cacheDir.substr(0, end);
    struct stat info;
    if (create && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      return "Could not create a directory in " + cacheDir + ": " +
             strerror(errno) + ".";
    }
    if (lstat(dir.c_str(), &info) != 0) {
      return "Could not use " + dir + ": " + strerror(errno) + ".";
    }
    if (!S_ISDIR(info.st_mode) || !isPrivateEntry(info)) {
      return dir + " is not a directory of this user's that only the user "
             "may change.";
    }
  }
  return "";
}
