#ifndef TESTING_FAKE_TASK_LAUNCHER_H_
#define TESTING_FAKE_TASK_LAUNCHER_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/os/task_launcher.h"

namespace platform {

// Records the launches it is asked for and starts nothing.
struct FakeTaskLauncher : TaskLauncher {
  struct Launch {
    std::string launchPath;
    std::vector<std::string> arguments;
    LaunchOptions options;
  };

  bool launch(const std::string& launchPath,
              const std::vector<std::string>& arguments,
              const LaunchOptions& options) override {
    launches.push_back({launchPath, arguments, options});
    if (onLaunch) onLaunch();
    return result;
  }

  std::vector<Launch> launches;
  bool result = true;  // what every launch returns
  // Runs during each launch, while the launching code holds what it holds.
  std::function<void()> onLaunch;
};

}  // namespace platform

#endif  // TESTING_FAKE_TASK_LAUNCHER_H_
