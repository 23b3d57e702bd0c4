#ifndef PLATFORM_OS_SYSTEM_LOG_H_
#define PLATFORM_OS_SYSTEM_LOG_H_

#include <string>

namespace platform {

// The system log. Abstract so tests can record lines; the real one writes to
// syslog(3) and the same line to standard error.
class SystemLog {
 public:
  virtual ~SystemLog() = default;
  virtual void log(const std::string& line) = 0;

  static SystemLog& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_SYSTEM_LOG_H_
