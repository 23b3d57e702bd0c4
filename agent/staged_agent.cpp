#include "agent/staged_agent.h"

#include <errno.h>
#include <stdlib.h>

#include "agent/accepted_release.h"
#include "agent/agent_origin.h"
#include "agent/agent_versions.h"
#include "agent/validation_stamp.h"
#include "agent/verifying_key.h"
#include "base/constants.h"
#include "platform/os/file_manager.h"
#include "platform/os/posix_error.h"
#include "platform/os/service.h"

StagedAgent::StagedAgent(const std::string& parentDir, std::string* error)
    : parentDir_(parentDir),
      path_(makeDirectory(error)),
      lock_(path_, AgentDirLock::Mode::kShared) {}

StagedAgent::~StagedAgent() {
  if (!path_.empty()) {
    platform::Service<platform::FileManager>::get().removeItemAtPath(path_);
  }
}

std::string StagedAgent::makeDirectory(std::string* error) {
  std::string pattern = parentDir_ + installAgentDirName + ".XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) return pattern;
  *error = platform::posixError("Could not create a directory in " + parentDir_,
                                errno);
  return "";
}

bool StagedAgent::install(const std::string& stamp,
                          const std::optional<SignedRelease>& release,
                          const std::string& origin, std::string* error) {
  if (path_.empty()) return false;
  std::string reason;
  if (!recordVerifyingKey(path_ + pathSeparator, release, &reason)) {
    *error = "Could not record the key that verified the agent in " + path_ +
             ": " + reason;
    return false;
  }
  if (!recordAgentOrigin(path_ + pathSeparator, origin, &reason)) {
    *error = "Could not record where the agent came from in " + path_ + ": " +
             reason;
    return false;
  }
  // Recorded before the agent is current: a run cut short leaves the record
  // ahead of the agent, which only has the same archive fetched again.
  if (release && !recordAcceptedRelease(parentDir_, *release, &reason)) {
    *error = "Could not record the accepted release in " + parentDir_ + ": " +
             reason;
    return false;
  }
  if (!removeValidationString(parentDir_, &reason)) {
    *error = "Could not remove the stamp in " + parentDir_ + ": " + reason;
    return false;
  }
  if (!makeCurrentAgentDir(parentDir_, path_, error)) return false;
  path_.clear();
  // Without its stamp the agent is only fetched again by the next run.
  writeValidationString(parentDir_, stamp);
  return true;
}
