#ifndef TESTING_FAKE_PROCESS_RUNNER_H_
#define TESTING_FAKE_PROCESS_RUNNER_H_

#include <string>
#include <vector>

#include "platform/os/process_runner.h"

namespace platform {

// Records the runs it is asked for, starts nothing and gives "outcome".
struct FakeProcessRunner : ProcessRunner {
  struct Run {
    std::string launchPath;
    std::vector<std::string> arguments;
    StandardInput input;
    std::vector<int> inheritedFds;
  };

  ProcessOutcome run(const std::string& launchPath,
                     const std::vector<std::string>& arguments,
                     StandardInput input,
                     const std::vector<int>& inheritedFds) override {
    runs.push_back({launchPath, arguments, input, inheritedFds});
    return outcome;
  }

  std::vector<Run> runs;
  ProcessOutcome outcome;
};

}  // namespace platform

#endif  // TESTING_FAKE_PROCESS_RUNNER_H_
