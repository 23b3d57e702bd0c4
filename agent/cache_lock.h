#ifndef AGENT_CACHE_LOCK_H_
#define AGENT_CACHE_LOCK_H_

#include <string>

#include "platform/os/unique_fd.h"

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

#endif  // AGENT_CACHE_LOCK_H_
