#include "agent/install_agent_cache.h"

#include <sys/stat.h>

#include <cstdlib>

#include "base/constants.h"

std::string getInstallAgentCacheDir() {
  const char* home = std::getenv("HOME");
  std::string dir = home != nullptr && *home != '\0' ? home : "/tmp";
  // A one-character home gets no separator: "/" stays "/".
  if (dir.size() >= 2 && dir.back() != pathSeparator[0]) dir += pathSeparator;
  return dir + cacheSubpath;
}

std::string getInstallAgentExecutable(std::string dir) {
  if (!dir.empty() && dir.back() != pathSeparator[0]) dir += pathSeparator;
  return dir + "install";
}

bool hasInstallAgentExecutable(std::string dir) {
  struct stat info;
  return stat(getInstallAgentExecutable(dir).c_str(), &info) == 0;
}

std::string installAgentDirOnDisk() {
  const std::string agentDir =
      getInstallAgentCacheDir() + installAgentDirName + pathSeparator;
  return hasInstallAgentExecutable(agentDir) ? agentDir : "";
}
