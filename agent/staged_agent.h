#ifndef AGENT_STAGED_AGENT_H_
#define AGENT_STAGED_AGENT_H_

#include <optional>
#include <string>

#include "agent/cache_locks.h"
#include "agent/signed_release.h"

// A fresh directory "installagent.XXXXXX" (mode 0700) in an existing
// directory, to unpack a new agent into where no run looks for one. Held
// shared (AgentDirLock) while the object lives, so that no run takes it for
// a leftover; in the cache, make it with the cache locked, for the same
// reason. Removed with everything in it on destruction unless it was
// installed.
class StagedAgent {
 public:
  // "parentDir" ends with the separator, as getInstallAgentCacheDir() does.
  // When no directory can be made, path() is "" and "*error" says why on one
  // line.
  StagedAgent(const std::string& parentDir, std::string* error);
  ~StagedAgent();
  StagedAgent(const StagedAgent&) = delete;
  StagedAgent& operator=(const StagedAgent&) = delete;

  // The directory, or "" when none could be made.
  const std::string& path() const { return path_; }

  // Makes this directory the cache's current agent (see agent_versions.h)
  // with "stamp" as its stamp (none for "" or what is no entity-tag),
  // recorded as verified by "release" (verifying_key.h; nullopt: not
  // verified), which also becomes the release the cache accepted last
  // (accepted_release.h), and as downloaded from "origin" (agent_origin.h).
  // Call with the cache locked (CacheLock). The stamp goes first and comes
  // back last, so that a run cut short leaves an agent without a stamp,
  // never one under another's. False, with "*error" set to why on one line,
  // when it failed: the cache then holds the agent it held, at worst without a
  // stamp.
  bool install(const std::string& stamp,
               const std::optional<SignedRelease>& release,
               const std::string& origin, std::string* error);

 private:
  std::string makeDirectory(std::string* error);

  std::string parentDir_;
  std::string path_;
  AgentDirLock lock_;
};

#endif  // AGENT_STAGED_AGENT_H_
