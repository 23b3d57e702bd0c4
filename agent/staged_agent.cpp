#include "agent/staged_agent.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "agent/mkpath.h"
#include "agent/validation_stamp.h"
#include "base/constants.h"
#include "platform/os/file_manager.h"
#include "platform/os/service.h"

namespace {

void removeTree(const std::string& path) {
  platform::Service<platform::FileManager>::get().removeItemAtPath(path);
}

}  // namespace

StagedAgent::StagedAgent(const std::string& cacheDir)
    : cacheDir_(cacheDir), path_(makeSibling()) {}

StagedAgent::~StagedAgent() {
  if (!path_.empty()) removeTree(path_);
}

std::string StagedAgent::makeSibling() {
  std::string pattern = cacheDir_ + installAgentDirName + ".XXXXXX";
  // The cache directory is made again, as the sourcing made it, so that a
  // failure names its cause (an unwritable HOME, say) rather than a missing
  // directory.
  if (mkpath(cacheDir_, 0700) == 0 && mkdtemp(pattern.data()) != nullptr) {
    return pattern;
  }
  error_ = "Could not create a directory in " + cacheDir_ + ": " +
           strerror(errno) + ".";
  return "";
}

bool StagedAgent::install(const std::string& stamp) {
  if (path_.empty()) return false;
  const std::string agentDir = cacheDir_ + installAgentDirName;
  // Renaming a directory onto an empty one replaces it, so the old agent is
  // moved onto a fresh sibling.
  const std::string old = makeSibling();
  if (old.empty()) return false;
  if (rename(agentDir.c_str(), old.c_str()) != 0 && errno != ENOENT) {
    error_ = "Could not move " + agentDir + " aside: " + strerror(errno) + ".";
    removeTree(old);
    return false;
  }
  // Stored while no agent is in place: a run cut short here leaves a cache
  // without an agent, never an agent under another's stamp.
  writeValidationString(cacheDir_, stamp);
  const bool installed = rename(path_.c_str(), agentDir.c_str()) == 0;
  if (installed) {
    path_.clear();
  } else {
    error_ = "Could not move " + path_ + " to " + agentDir + ": " +
             strerror(errno) + ".";
  }
  removeTree(old);
  return installed;
}
