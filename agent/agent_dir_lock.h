#ifndef AGENT_AGENT_DIR_LOCK_H_
#define AGENT_AGENT_DIR_LOCK_H_

#include <string>

#include "platform/os/unique_fd.h"

// An advisory lock (flock) on one agent directory of the cache, or on a
// run's working directory, held while the object lives. A run holds it
// shared on its working directory for its whole life, and on the directory
// it unpacks into and the directory it starts a cached agent from, which
// the started agent inherits for as long as it runs; a directory is removed
// only under the exclusive lock, so never while it is in use. Never waits:
// locked() is false when the directory cannot be opened (a link is not
// followed) or the lock is taken the other way.
class AgentDirLock {
 public:
  enum class Mode { kShared, kExclusive };

  AgentDirLock(const std::string& dir, Mode mode);
  AgentDirLock(const AgentDirLock&) = delete;
  AgentDirLock& operator=(const AgentDirLock&) = delete;

  bool locked() const { return fd_.valid(); }
  // The descriptor that holds the lock, to hand to a started agent;
  // close-on-exec here.
  int fd() const { return fd_.get(); }

 private:
  platform::UniqueFd fd_;  // closing it, and every copy, releases the lock
};

#endif  // AGENT_AGENT_DIR_LOCK_H_
