#ifndef TESTING_FAKE_SYSTEM_LOG_H_
#define TESTING_FAKE_SYSTEM_LOG_H_

#include <string>
#include <vector>

#include "platform/os/system_log.h"

namespace platform {

// Records the lines logged, in order.
struct FakeSystemLog : SystemLog {
  void log(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

}  // namespace platform

#endif  // TESTING_FAKE_SYSTEM_LOG_H_
