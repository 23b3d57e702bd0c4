#include "platform/ui/terminal_mode.h"

#include <unistd.h>

namespace platform {

TerminalMode::TerminalMode(int fd) : fd_(fd) {
  // tcgetpgrp fails for a terminal that is not the controlling one (a test's
  // pseudo-terminal); job control cannot stop the process there.
  pid_t foreground = tcgetpgrp(fd);
  if (foreground != -1 && foreground != getpgrp()) return;
  termios mode;
  if (tcgetattr(fd, &mode) != 0) return;
  termios keys = mode;
  keys.c_lflag &= ~(ICANON | ECHO);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &keys) != 0) return;
  saved_ = mode;
}

TerminalMode::~TerminalMode() {
  // TCSANOW, not TCSAFLUSH: keys typed meanwhile belong to whoever reads the
  // terminal next.
  if (saved_) tcsetattr(fd_, TCSANOW, &*saved_);
}

}  // namespace platform
