#include "platform/ui/front_end.h"

#include <unistd.h>

namespace platform {

namespace {

// False for a background job. A terminal that is no controlling one (a
// test's pseudo-terminal) has no foreground to leave.
bool isInForeground(int fd) {
  const pid_t foreground = tcgetpgrp(fd);
  return foreground == -1 || foreground == getpgrp();
}

}  // namespace

std::unique_ptr<FrontEnd> NewDefaultFrontEnd() {
  if (isatty(STDERR_FILENO) && isInForeground(STDERR_FILENO)) {
    return NewTerminalFrontEnd(STDERR_FILENO);
  }
  return NewHeadlessFrontEnd();
}

}  // namespace platform
