#ifndef PLATFORM_OS_TASK_LAUNCHER_H_
#define PLATFORM_OS_TASK_LAUNCHER_H_

#include <string>
#include <vector>

namespace platform {

// How a program is started.
struct LaunchOptions {
  // Open descriptors the child keeps under the same numbers, with what they
  // hold (a lock, say), even when they are marked close-on-exec here. The
  // child gets no other descriptor but its standard streams.
  std::vector<int> inheritedFds;
  // Whether launch returns only once the child has ended.
  bool waitForExit = false;
};

// Starts programs as child processes. Abstract so tests can record
// launches; the real one uses posix_spawn.
class TaskLauncher {
 public:
  virtual ~TaskLauncher() = default;
  // Starts "launchPath" with "arguments" (not counting the program name),
  // each passed as one argument with no shell involved. Unless "options"
  // say so, the child is not waited for; its exit status is never looked
  // at. False when it could not be started.
  virtual bool launch(const std::string& launchPath,
                      const std::vector<std::string>& arguments,
                      const LaunchOptions& options) = 0;

  static TaskLauncher& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_TASK_LAUNCHER_H_
