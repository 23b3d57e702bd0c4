#ifndef AGENT_CACHE_LOCKS_H_
#define AGENT_CACHE_LOCKS_H_

#include <string>

#include "platform/os/unique_fd.h"

// The two advisory locks by which runs of the same user keep out of each
// other's way: one on the whole cache, one on a directory in use.

// An exclusive advisory lock (flock) on the per-user cache directory, held
// while the object lives. Every run of the same user takes it around each
// look at and change of the cached agent and its stamp, so that none sees
// another's update half done. The directory itself is locked: the cache
// gains no file for it.
//
// Construction waits until the lock is free. When the directory cannot be
// opened (a link is not followed) or locked (it is missing or unreadable,
// or its file system has no locks) nothing is held and locked() is false;
// the caller goes on without the lock, as a missing cache then fails its
// own operations. The lock is not passed on to programs started while it
// is held.
class CacheLock {
 public:
  explicit CacheLock(const std::string& cacheDir);
  CacheLock(const CacheLock&) = delete;
  CacheLock& operator=(const CacheLock&) = delete;

  bool locked() const { return fd_.valid(); }

 private:
  platform::UniqueFd fd_;  // closing it releases the lock
};

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

#endif  // AGENT_CACHE_LOCKS_H_
