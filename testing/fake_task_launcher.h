#ifndef TESTING_FAKE_TASK_LAUNCHER_H_
#define TESTING_FAKE_TASK_LAUNCHER_H_

#include <string>
#include <vector>

#include "platform/os/task_launcher.h"

namespace platform {

// Records the launches it is asked for and starts nothing.
struct FakeTaskLauncher : TaskLauncher {
  struct Launch {
    std::string launchPath;
    std::vector<std::string> arguments;
  };

  bool launch(const std::string& launchPath,
              const std::vector<std::string>& arguments) override {
    launches.push_back({launchPath, arguments});
    return result;
  }

  std::vector<Launch> launches;
  bool result = true;  // what every launch returns
};

}  // namespace platform

#endif  // TESTING_FAKE_TASK_LAUNCHER_H_
