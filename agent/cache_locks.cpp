#include "agent/cache_locks.h"

#include <fcntl.h>
#include <sys/file.h>

namespace {

// Close-on-exec: an agent started under a lock keeps it only when it is
// handed the descriptor, never for the rest of its own run by accident.
platform::UniqueFd openDirectory(const std::string& dir) {
  return platform::UniqueFd(
      open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

}  // namespace

CacheLock::CacheLock(const std::string& cacheDir) {
  platform::UniqueFd fd = openDirectory(cacheDir);
  if (!fd.valid()) return;
  if (flock(fd.get(), LOCK_EX) == 0) fd_ = std::move(fd);
}

AgentDirLock::AgentDirLock(const std::string& dir, Mode mode) {
  platform::UniqueFd fd = openDirectory(dir);
  if (!fd.valid()) return;
  const int operation = mode == Mode::kShared ? LOCK_SH : LOCK_EX;
  if (flock(fd.get(), operation | LOCK_NB) == 0) fd_ = std::move(fd);
}
