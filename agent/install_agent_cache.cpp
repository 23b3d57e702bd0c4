#include "agent/install_agent_cache.h"

#include <sys/stat.h>

#include <cstdlib>

#include "bootstrap/constants.h"

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

std::string installAgentDirOnDisk() {
  const std::string agentDir =
      getInstallAgentCacheDir() + installAgentDirName + pathSeparator;
  struct stat info;
  if (stat(getInstallAgentExecutable(agentDir).c_str(), &info) != 0) return "";
  return agentDir;
}
