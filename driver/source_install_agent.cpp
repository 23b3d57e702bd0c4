#include "driver/source_install_agent.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "agent/agent_launch.h"
#include "agent/bundle_paths.h"
#include "agent/install_agent_cache.h"
#include "base/constants.h"
#include "download/download_window.h"

namespace {

const std::string versionedPrefix = "InstallAgent_";
const std::string versionedSuffix = ".zip";

bool isVersionedArchiveName(const std::string& name) {
  return name.size() >= versionedPrefix.size() + versionedSuffix.size() &&
         name.compare(0, versionedPrefix.size(), versionedPrefix) == 0 &&
         name.compare(name.size() - versionedSuffix.size(),
                      versionedSuffix.size(), versionedSuffix) == 0;
}

struct DirectoryCloser {
  void operator()(DIR* stream) const { closedir(stream); }
};

// The first entry of "dir", in the directory's own order, named like a
// versioned agent archive; "" when there is none or "dir" cannot be read.
std::string findVersionedArchive(const std::string& dir) {
  const std::unique_ptr<DIR, DirectoryCloser> stream(opendir(dir.c_str()));
  if (!stream) return "";
  while (const dirent* entry = readdir(stream.get())) {
    if (isVersionedArchiveName(entry->d_name)) {
      return dir + pathSeparator + entry->d_name;
    }
  }
  return "";
}

// The shipped archive: the default location when anything is there, else a
// versioned archive beside it; "" when the bundle ships none.
std::string findShippedArchive() {
  const std::string location = getDefaultInstallAgentLocation();
  struct stat info;
  if (stat(location.c_str(), &info) == 0) return location;
  return findVersionedArchive(withoutLastPathComponent(location));
}

}  // namespace

std::string sourceInstallAgent(std::string payloadDir, ErrorReporter reporter,
                               bool* startedByWindow,
                               const WindowSettings& window) {
  *startedByWindow = false;
  const std::string archive = findShippedArchive();
  if (archive.empty()) {
    const std::string agentDir = getInstallAgentCacheDir() + installAgentDirName;
    const std::string download = payloadDir + pathSeparator + installAgentZipName;
    if (!downloadInstallAgentFromQZ(download.c_str(), reporter, window)) {
      return "";
    }
    *startedByWindow = true;
    return getInstallAgentExecutable(agentDir);
  }

  // sh would complain about a missing or unreadable launcher and end with
  // a status nobody examines: the run would pass for a success.
  if (!unzipInstallAgent(archive, payloadDir, "unzip", reporter) ||
      !hasInstallAgentExecutable(payloadDir)) {
    reporter("Failed to initialize the install agent.", true);
    return "";
  }
  return getInstallAgentExecutable(payloadDir);
}
