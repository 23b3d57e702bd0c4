#include "platform/ui/front_end.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform {

namespace {

// False for a background job. A terminal that is no controlling one (a
// test's pseudo-terminal) has no foreground to leave.
bool isInForeground(int fd) {
  const pid_t foreground = tcgetpgrp(fd);
  return foreground == -1 || foreground == getpgrp();
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool hasDisplay() {
  return !environment("DISPLAY").empty() ||
         !environment("WAYLAND_DISPLAY").empty();
}

}  // namespace

std::unique_ptr<FrontEnd> NewDefaultFrontEnd() {
  const std::string forced = environment("QZ_INSTALLER_FRONT_END");
  if (forced == "headless") return NewHeadlessFrontEnd();
  // Without a terminal to read keys from, a failed run would wait forever.
  if (forced == "terminal" && isatty(STDERR_FILENO)) {
    return NewTerminalFrontEnd(STDERR_FILENO);
  }
  if (forced == "gui" || (forced.empty() && hasDisplay())) {
    if (std::unique_ptr<FrontEnd> window = LoadGtkFrontEnd()) return window;
  }
  if (isatty(STDERR_FILENO) && isInForeground(STDERR_FILENO)) {
    return NewTerminalFrontEnd(STDERR_FILENO);
  }
  return NewHeadlessFrontEnd();
}

}  // namespace platform
