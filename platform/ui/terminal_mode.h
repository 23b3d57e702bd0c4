#ifndef PLATFORM_UI_TERMINAL_MODE_H_
#define PLATFORM_UI_TERMINAL_MODE_H_

#include <termios.h>

#include <optional>

namespace platform {

// Puts a terminal into the mode a one-key interface needs, for the lifetime
// of this object: each key is delivered as it is typed, without line editing
// and without echo; the signal keys keep working. The previous mode comes
// back on destruction.
class TerminalMode {
 public:
  // "fd" must stay open while this object exists. Leaves the terminal alone
  // when "fd" is no terminal, or when the process runs in the background,
  // where changing the mode would stop it (SIGTTOU).
  explicit TerminalMode(int fd);
  ~TerminalMode();
  TerminalMode(const TerminalMode&) = delete;
  TerminalMode& operator=(const TerminalMode&) = delete;

  // True when keys now arrive one by one.
  bool isActive() const { return saved_.has_value(); }

 private:
  int fd_;
  std::optional<termios> saved_;
};

}  // namespace platform

#endif  // PLATFORM_UI_TERMINAL_MODE_H_
