#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/os/posix_spawn_actions.h"
#include "platform/os/task_launcher.h"

extern char** environ;

namespace platform {

namespace {

// A child that is not waited for is the install agent, which outlives this
// process's short remaining run; until this process ends, one that finished
// stays a zombie.
class RealTaskLauncher : public TaskLauncher {
 public:
  bool launch(const std::string& launchPath,
              const std::vector<std::string>& arguments,
              const LaunchOptions& options) override {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(launchPath.c_str()));
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    SpawnActions actions;
    if (actions.inheritOnly(options.inheritedFds) != 0) return false;
    pid_t pid;
    if (posix_spawn(&pid, launchPath.c_str(), actions.get(), nullptr,
                    argv.data(), environ) != 0) {
      return false;
    }
    if (options.waitForExit) {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    return true;
  }
};

}  // namespace

TaskLauncher& TaskLauncher::Real() {
  static RealTaskLauncher launcher;
  return launcher;
}

}  // namespace platform
