#include <spawn.h>

#include "platform/os/task_launcher.h"

extern char** environ;

namespace platform {

namespace {

// The child is never waited for: it is the install agent, which outlives this
// process's short remaining run, and its exit status means nothing here.
// Until this process ends, a child that finished stays a zombie.
class RealTaskLauncher : public TaskLauncher {
 public:
  bool launch(const std::string& launchPath,
              const std::vector<std::string>& arguments) override {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(launchPath.c_str()));
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid;
    return posix_spawn(&pid, launchPath.c_str(), nullptr, nullptr, argv.data(),
                       environ) == 0;
  }
};

}  // namespace

TaskLauncher& TaskLauncher::Real() {
  static RealTaskLauncher launcher;
  return launcher;
}

}  // namespace platform
