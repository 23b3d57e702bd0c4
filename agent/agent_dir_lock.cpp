#include "agent/agent_dir_lock.h"

#include <fcntl.h>
#include <sys/file.h>

AgentDirLock::AgentDirLock(const std::string& dir, Mode mode) {
  platform::UniqueFd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY |
                                              O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return;
  const int operation = mode == Mode::kShared ? LOCK_SH : LOCK_EX;
  if (flock(fd.get(), operation | LOCK_NB) == 0) fd_ = std::move(fd);
}
