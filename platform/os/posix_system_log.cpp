#include "platform/os/system_log.h"

#include <syslog.h>

#include <cstdio>

namespace platform {

namespace {

class RealSystemLog : public SystemLog {
 public:
  void log(const std::string& line) override {
    syslog(LOG_ERR, "%s", line.c_str());
    // One write, so the line is not interleaved with other output.
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

SystemLog& SystemLog::Real() {
  static RealSystemLog log;
  return log;
}

}  // namespace platform
