#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/os/task_launcher.h"

extern char** environ;

namespace platform {

namespace {

// Releases posix_spawn's file actions.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

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
    FileActions actions;
    // Duplicating a descriptor onto itself clears its close-on-exec flag in
    // the child only, so no other program started meanwhile gets it.
    if (options.inheritedFd >= 0 &&
        posix_spawn_file_actions_adddup2(actions.get(), options.inheritedFd,
                                         options.inheritedFd) != 0) {
      return false;
    }
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
