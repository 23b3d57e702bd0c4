#ifndef PLATFORM_OS_TASK_LAUNCHER_H_
#define PLATFORM_OS_TASK_LAUNCHER_H_

#include <string>
#include <vector>

namespace platform {

// Starts programs as child processes that run on their own. Abstract so
// tests can record launches; the real one uses posix_spawn.
class TaskLauncher {
 public:
  virtual ~TaskLauncher() = default;
  // Starts "launchPath" with "arguments" (not counting the program name),
  // each passed as one argument with no shell involved. The child is not
  // waited for. False when it could not be started.
  virtual bool launch(const std::string& launchPath,
                      const std::vector<std::string>& arguments) = 0;

  static TaskLauncher& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_TASK_LAUNCHER_H_
