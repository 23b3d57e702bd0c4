#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/os/posix_spawn_actions.h"
#include "platform/os/process_runner.h"
#include "platform/os/termination_signals.h"

extern char** environ;

namespace platform {

namespace {

// One signal's disposition, set for the lifetime of this object.
class ScopedDisposition {
 public:
  ScopedDisposition(int signo, void (*handler)(int)) : signo_(signo) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signo, &action, &previous_);
  }
  ~ScopedDisposition() { sigaction(signo_, &previous_, nullptr); }
  ScopedDisposition(const ScopedDisposition&) = delete;
  ScopedDisposition& operator=(const ScopedDisposition&) = delete;

  bool wasIgnored() const {
    return (previous_.sa_flags & SA_SIGINFO) == 0 &&
           previous_.sa_handler == SIG_IGN;
  }

 private:
  int signo_;
  struct sigaction previous_;
};

struct SpawnAttributes {
  SpawnAttributes() { posix_spawnattr_init(&attributes); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
  posix_spawnattr_t attributes;
};

class RealProcessRunner : public ProcessRunner {
 public:
  ProcessOutcome run(const std::string& launchPath,
                     const std::vector<std::string>& arguments,
                     StandardInput input,
                     const std::vector<int>& inheritedFds) override {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    // A program that may talk to the user decides itself about SIGINT and
    // SIGQUIT from the terminal, as under system(3); for one that never
    // reads the terminal, they stay this process's to act on. A SIGCHLD
    // ignored by whoever started us would leave no status to collect.
    std::optional<ScopedDisposition> interrupt;
    std::optional<ScopedDisposition> quit;
    if (input == StandardInput::kInherited) {
      interrupt.emplace(SIGINT, SIG_IGN);
      quit.emplace(SIGQUIT, SIG_IGN);
    }
    const ScopedDisposition childEnded(SIGCHLD, SIG_DFL);
    // The child gets back what was ignored only here.
    sigset_t restored;
    sigemptyset(&restored);
    if (interrupt && !interrupt->wasIgnored()) sigaddset(&restored, SIGINT);
    if (quit && !quit->wasIgnored()) sigaddset(&restored, SIGQUIT);
    SpawnAttributes attributes;
    posix_spawnattr_setsigdefault(&attributes.attributes, &restored);
    posix_spawnattr_setflags(&attributes.attributes, POSIX_SPAWN_SETSIGDEF);
    SpawnActions actions;
    if (input == StandardInput::kNone) {
      posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null",
                                       O_RDONLY, 0);
    }
    ProcessOutcome outcome;
    outcome.startError = actions.inheritOnly(inheritedFds);
    if (outcome.startError != 0) return outcome;

    pid_t pid;
    outcome.startError =
        posix_spawn(&pid, launchPath.c_str(), actions.get(),
                    &attributes.attributes, argv.data(), environ);
    if (outcome.startError != 0) return outcome;

    const SignalsPassedOn passedOn;
    while (waitpid(pid, &outcome.waitStatus, 0) < 0) {
      if (errno != EINTR) {
        outcome.waitStatus = -1;
        break;
      }
    }
    return outcome;
  }
};

}  // namespace

ProcessRunner& ProcessRunner::Real() {
  static RealProcessRunner runner;
  return runner;
}

}  // namespace platform
