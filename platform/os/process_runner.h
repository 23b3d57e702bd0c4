#ifndef PLATFORM_OS_PROCESS_RUNNER_H_
#define PLATFORM_OS_PROCESS_RUNNER_H_

#include <string>
#include <vector>

namespace platform {

// What a program run reads as its standard input.
enum class StandardInput {
  kInherited,  // this process's own, the user's terminal maybe
  kNone,       // /dev/null: the program can never wait for the user
};

struct ProcessOutcome {
  // errno when the program could not be started (E2BIG: its arguments are
  // past the kernel's limits), else 0.
  int startError = 0;
  // The ended program's status as waitpid(2) gives it; -1 when it could not
  // be collected.
  int waitStatus = 0;
};

// Runs programs as child processes and waits for them, as system(3) does
// for the shell. Abstract so tests can record runs; the real one uses
// posix_spawn.
class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Starts "launchPath" with "arguments" (argv[0] first), no shell involved,
  // and waits for it to end. While a program with kInherited input runs,
  // SIGINT and SIGQUIT are ignored here (the terminal sends them to the
  // child too, and the child decides); SIGTERM and SIGHUP are passed on to
  // it as SignalsPassedOn says. The program gets no descriptor but its
  // standard streams and "inheritedFds", under their own numbers.
  virtual ProcessOutcome run(const std::string& launchPath,
                             const std::vector<std::string>& arguments,
                             StandardInput input,
                             const std::vector<int>& inheritedFds) = 0;

  static ProcessRunner& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_PROCESS_RUNNER_H_
