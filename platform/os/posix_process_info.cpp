#include "platform/os/process_info.h"

#include <fstream>
#include <iterator>

namespace platform {

namespace {

// /proc/self/cmdline holds each argument followed by a NUL, exactly as the
// process received it, so blanks, quotes and empty arguments survive.
class RealProcessInfo : public ProcessInfo {
 public:
  std::vector<std::string> arguments() override {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(file)),
                          std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::string::size_type start = 0;
    while (start < all.size()) {
      std::string::size_type end = all.find('\0', start);
      if (end == std::string::npos) end = all.size();
      arguments.push_back(all.substr(start, end - start));
      start = end + 1;
    }
    return arguments;
  }
};

}  // namespace

ProcessInfo& ProcessInfo::Real() {
  static RealProcessInfo info;
  return info;
}

}  // namespace platform
