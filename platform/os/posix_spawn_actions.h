#ifndef PLATFORM_OS_POSIX_SPAWN_ACTIONS_H_
#define PLATFORM_OS_POSIX_SPAWN_ACTIONS_H_

#include <spawn.h>

#include <vector>

namespace platform {

// posix_spawn's file actions, released with this object.
class SpawnActions {
 public:
  SpawnActions();
  ~SpawnActions();
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;

  // Has the child keep its standard streams and the descriptors "kept"
  // under their own numbers, with what they hold, even those marked
  // close-on-exec here, and close every other descriptor, whether or not it
  // is marked. 0, or the errno value saying why the actions could not be
  // recorded.
  int inheritOnly(const std::vector<int>& kept);

  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace platform

#endif  // PLATFORM_OS_POSIX_SPAWN_ACTIONS_H_
