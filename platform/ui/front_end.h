#ifndef PLATFORM_UI_FRONT_END_H_
#define PLATFORM_UI_FRONT_END_H_

#include <memory>

#include "platform/loop/event_loop.h"
#include "platform/ui/window.h"

namespace platform {

// Shows windows to the user and turns the user's input into actions on them.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Called when "window" is shown: draw it and start taking input for it
  // (keys, the close box; SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGALRM
  // close it like the close box).
  virtual void windowDidShow(Window& window, EventLoop& loop) = 0;
  // Draws what changed in "window" since the last call.
  virtual void draw(const Window& window) = 0;
  // Called after "window" closed: stop taking input, leave the screen tidy.
  virtual void windowDidClose(Window& window) = 0;
};

// Draws on the terminal "fd": a status line and a bar redrawn in place, a red
// text in red; Return, read from "fd" too, presses the button whose key
// equivalent is "\r". On Ctrl-Z (SIGTSTP) it gives the terminal back before
// the process stops and draws again on SIGCONT. "fd" must stay open while
// the front end exists.
std::unique_ptr<FrontEnd> NewTerminalFrontEnd(int fd);
// Draws nothing. As nobody can close its window, it closes the window itself
// once the window shows a final failure (a red status text).
std::unique_ptr<FrontEnd> NewHeadlessFrontEnd();
// The terminal front end when standard error is a terminal and the process
// is in its foreground, else headless: a background run cannot read keys.
std::unique_ptr<FrontEnd> NewDefaultFrontEnd();

}  // namespace platform

#endif  // PLATFORM_UI_FRONT_END_H_
