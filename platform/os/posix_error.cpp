#include "platform/os/posix_error.h"

#include <cstring>

namespace platform {

std::string posixError(const std::string& context, int errnum) {
  const std::string text = std::string(std::strerror(errnum)) + ".";
  return context.empty() ? text : context + ": " + text;
}

}  // namespace platform
