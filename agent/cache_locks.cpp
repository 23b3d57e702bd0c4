#include "agent/cache_locks.h"

#include <fcntl.h>
#include <sys/file.h>

CacheLock::CacheLock(const std::string& cacheDir) {
  // Close-on-exec: an agent started under the lock must not keep it for the
  // rest of its own run.
  platform::UniqueFd fd(
      open(cacheDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return;
  if (flock(fd.get(), LOCK_EX) == 0) fd_ = std::move(fd);
}

AgentDirLock::AgentDirLock(const std::string& dir, Mode mode) {
  platform::UniqueFd fd(
      open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return;
  const int operation = mode == Mode::kShared ? LOCK_SH : LOCK_EX;
  if (flock(fd.get(), operation | LOCK_NB) == 0) fd_ = std::move(fd);
}
