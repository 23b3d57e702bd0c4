#include "agent/install_agent_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "base/constants.h"
#include "platform/os/service.h"
#include "platform/os/user_account.h"

namespace {

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  // Never a shared place such as /tmp while the account has a home of its
  // own: another user could have prepared a cache there.
  return platform::Service<platform::UserAccount>::get().homeDirectory().value_or(
      "/tmp");
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
  return stat(launcher.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(launcher.c_str(), R_OK) == 0;
}
