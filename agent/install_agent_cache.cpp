#include "agent/install_agent_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "base/constants.h"
#include "platform/os/service.h"
#include "platform/os/user_account.h"

namespace {

bool isAbsolute(const std::string& path) {
  return !path.empty() && path[0] == pathSeparator[0];
}

std::string homeDirectory() {
  // A relative HOME names no home: the cache would follow the directory the
  // run starts in, and its paths ("-x/...") would read as options to sh.
  const char* home = std::getenv("HOME");
  if (home != nullptr && isAbsolute(home)) return home;
  // Never a shared place such as /tmp while the account has a home of its
  // own: another user could have prepared a cache there.
  const std::optional<std::string> account =
      platform::Service<platform::UserAccount>::get().homeDirectory();
  return account && isAbsolute(*account) ? *account : "/tmp";
}

}  // namespace

std::string getInstallAgentCacheDir() {
  std::string dir = homeDirectory();
  // A one-character home gets no separator: "/" stays "/".
  if (dir.size() >= 2 && dir.back() != pathSeparator[0]) dir += pathSeparator;
  return dir + cacheSubpath;
}

std::string getInstallAgentExecutable(std::string dir) {
  if (!dir.empty() && dir.back() != pathSeparator[0]) dir += pathSeparator;
  return dir + "install";
}

bool hasInstallAgentExecutable(std::string dir) {
  const std::string launcher = getInstallAgentExecutable(dir);
  struct stat info;
  // With the effective ids, as the shell opens it (access(2) would ask with
  // the real ones).
  return stat(launcher.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         faccessat(AT_FDCWD, launcher.c_str(), R_OK, AT_EACCESS) == 0;
}
