#include "agent/agent_versions.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "agent/cache_locks.h"
#include "agent/install_agent_cache.h"
#include "agent/private_file.h"
#include "base/constants.h"
#include "platform/os/file_manager.h"
#include "platform/os/posix_error.h"
#include "platform/os/service.h"

namespace {

const std::string versionPrefix = installAgentDirName + ".";
// The new link, renamed over "installagent"; only ever there under the lock.
const std::string newLinkName = versionPrefix + "new";
const std::string stampLeftoverPrefix = validationFileName + ".";
const std::string recordLeftoverPrefix = acceptedReleaseFileName + ".";

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The name "installagent" links to, when it is a link of the user's to a
// name beside it; "" otherwise.
std::string currentAgentName(const std::string& cacheDir) {
  const std::string link = cacheDir + installAgentDirName;
  struct stat info;
  if (lstat(link.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) ||
      info.st_uid != geteuid()) {
    return "";
  }
  char target[256];
  const ssize_t size = readlink(link.c_str(), target, sizeof target);
  if (size <= 0 || static_cast<std::size_t>(size) >= sizeof target) return "";
  const std::string name(target, static_cast<std::size_t>(size));
  if (!startsWith(name, versionPrefix) || name == newLinkName ||
      name.find('/') != std::string::npos) {
    return "";
  }
  return name;
}

// Why "installagent" could not be made to point to "agentDir", errno
// saying it.
std::string linkFailure(const std::string& cacheDir,
                        const std::string& agentDir) {
  return platform::posixError("Could not make " + cacheDir +
                                  installAgentDirName + " point to " + agentDir,
                              errno);
}

// Makes the new link to "agentDir" beside "installagent", at "newLink", to be
// renamed over it; false, with "*error" set, when it cannot be made.
bool makeNewLink(const std::string& cacheDir, const std::string& agentDir,
                 const std::string& newLink, std::string* error) {
  std::string target = agentDir;
  while (!target.empty() && target.back() == pathSeparator[0]) {
    target.pop_back();
  }
  // Relative, so that the cache still works when HOME is reached another
  // way.
  target = target.substr(target.find_last_of(pathSeparator) + 1);
  unlink(newLink.c_str());
  if (symlink(target.c_str(), newLink.c_str()) != 0) {
    *error = linkFailure(cacheDir, agentDir);
    return false;
  }
  return true;
}

struct DirectoryCloser {
  void operator()(DIR* stream) const { closedir(stream); }
};

}  // namespace

std::string currentAgentDir(const std::string& cacheDir) {
  const std::string name = currentAgentName(cacheDir);
  if (name.empty()) return "";
  const std::string dir = cacheDir + name;
  struct stat info;
  if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      !isPrivateEntry(info) || !hasInstallAgentExecutable(dir)) {
    return "";
  }
  return dir + pathSeparator;
}

bool makeCurrentAgentDir(const std::string& cacheDir,
                         const std::string& agentDir, std::string* error) {
  const std::string newLink = cacheDir + newLinkName;
  if (!makeNewLink(cacheDir, agentDir, newLink, error)) return false;
  const std::string link = cacheDir + installAgentDirName;
  struct stat info;
  // A link cannot be renamed over a directory.
  if (lstat(link.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    platform::Service<platform::FileManager>::get().removeItemAtPath(link);
  }
  if (std::rename(newLink.c_str(), link.c_str()) != 0) {
    *error = linkFailure(cacheDir, agentDir);
    unlink(newLink.c_str());
    return false;
  }
  return true;
}

bool checkAgentLink(const std::string& cacheDir, const std::string& agentDir,
                    std::string* error) {
  const std::string newLink = cacheDir + newLinkName;
  if (!makeNewLink(cacheDir, agentDir, newLink, error)) return false;
  unlink(newLink.c_str());
  return true;
}

void removeLeftovers(const std::string& cacheDir) {
  const std::string current = currentAgentName(cacheDir);
  const std::unique_ptr<DIR, DirectoryCloser> stream(opendir(cacheDir.c_str()));
  if (!stream) return;
  while (const dirent* entry = readdir(stream.get())) {
    const std::string name = entry->d_name;
    if ((!startsWith(name, versionPrefix) &&
         !startsWith(name, stampLeftoverPrefix) &&
         !startsWith(name, recordLeftoverPrefix)) ||
        name == current) {
      continue;
    }
    const std::string path = cacheDir + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (!S_ISDIR(info.st_mode)) {
      unlink(path.c_str());
      continue;
    }
    const AgentDirLock unused(path, AgentDirLock::Mode::kExclusive);
    if (unused.locked()) {
      platform::Service<platform::FileManager>::get().removeItemAtPath(path);
    }
  }
}
