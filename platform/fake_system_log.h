#ifndef PLATFORM_FAKE_SYSTEM_LOG_H_
#define PLATFORM_FAKE_SYSTEM_LOG_H_

#include <string>
#include <vector>

#include "platform/system_log.h"

namespace platform {

// Records the lines logged, in order.
struct FakeSystemLog : SystemLog {
  void log(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

}  // namespace platform

#endif  // PLATFORM_FAKE_SYSTEM_LOG_H_
