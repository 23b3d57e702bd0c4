#ifndef TESTING_FAKE_PROCESS_INFO_H_
#define TESTING_FAKE_PROCESS_INFO_H_

#include <string>
#include <utility>
#include <vector>

#include "platform/os/process_info.h"

namespace platform {

// A command line that is whatever the test says.
struct FakeProcessInfo : ProcessInfo {
  explicit FakeProcessInfo(std::vector<std::string> arguments = {})
      : args(std::move(arguments)) {}
  std::vector<std::string> arguments() override { return args; }
  std::vector<std::string> args;
};

}  // namespace platform

#endif  // TESTING_FAKE_PROCESS_INFO_H_
