#include "platform/ui/front_ends.h"

#include <unistd.h>

#include "platform/os/service.h"
#include "platform/os/system_log.h"
#include "ui/front_end_choice.h"

namespace platform {

namespace {

// False for a background job. A terminal that is no controlling one (a
// test's pseudo-terminal) has no foreground to leave.
bool isInForeground(int fd) {
  const pid_t foreground = tcgetpgrp(fd);
  return foreground == -1 || foreground == getpgrp();
}

}  // namespace

std::unique_ptr<ui::FrontEnd> NewDefaultFrontEnd(const std::string& requested,
                                                 bool hasDisplay) {
  ui::FrontEndSetting setting;
  setting.requested = requested;
  setting.hasDisplay = hasDisplay;
  setting.terminal = isatty(STDERR_FILENO) != 0;
  setting.foreground = setting.terminal && isInForeground(STDERR_FILENO);
  for (const ui::FrontEndKind kind : ui::frontEndsToTry(setting)) {
    switch (kind) {
      case ui::FrontEndKind::kGtk: {
        std::string why;
        if (std::unique_ptr<ui::FrontEnd> window = LoadGtkFrontEnd(&why)) {
          return window;
        }
        Service<SystemLog>::get().log("No download window on the display: " +
                                      why);
        break;
      }
      case ui::FrontEndKind::kTerminal:
        return NewTerminalFrontEnd(STDERR_FILENO);
      case ui::FrontEndKind::kHeadless:
        return ui::NewHeadlessFrontEnd();
    }
  }
  return ui::NewHeadlessFrontEnd();
}

}  // namespace platform
