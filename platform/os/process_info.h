#ifndef PLATFORM_OS_PROCESS_INFO_H_
#define PLATFORM_OS_PROCESS_INFO_H_

#include <string>
#include <vector>

namespace platform {

// The process's own command line. Abstract so tests can supply one; the real
// one reads /proc/self/cmdline, so every argument comes back byte for byte.
class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;
  // The program's path first, then each argument.
  virtual std::vector<std::string> arguments() = 0;

  static ProcessInfo& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_PROCESS_INFO_H_
