#include "platform/os/posix_spawn_actions.h"

#include <unistd.h>

#include <algorithm>

namespace platform {

SpawnActions::SpawnActions() { posix_spawn_file_actions_init(&actions_); }

SpawnActions::~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }

int SpawnActions::inheritOnly(const std::vector<int>& kept) {
  // Descriptors this process did not mark close-on-exec, or opened on
  // another thread (libcurl's sockets, say), would otherwise reach the
  // child, and live on in it.
  int highest = STDERR_FILENO;
  for (int fd : kept) highest = std::max(highest, fd);
  for (int fd = STDERR_FILENO + 1; fd <= highest; ++fd) {
    const bool keep = std::find(kept.begin(), kept.end(), fd) != kept.end();
    // Duplicating a descriptor onto itself clears its close-on-exec flag in
    // the child only; closing one that is not open is no failure there.
    const int error = keep ? posix_spawn_file_actions_adddup2(&actions_, fd, fd)
                           : posix_spawn_file_actions_addclose(&actions_, fd);
    if (error != 0) return error;
  }
  // In the child, by close_range, or through /proc/self/fd on a kernel
  // without it.
  return posix_spawn_file_actions_addclosefrom_np(&actions_, highest + 1);
}

}  // namespace platform
