#ifndef UI_FRONT_END_H_
#define UI_FRONT_END_H_

#include <memory>

#include "platform/loop/event_loop.h"
#include "ui/window.h"

namespace ui {

// Shows windows to the user and turns the user's input into actions on them.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Called when "window" is shown: draw it and start taking input for it
  // (keys, the close box; SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGALRM
  // close it like the close box).
  virtual void windowDidShow(Window& window, platform::EventLoop& loop) = 0;
  // Draws what changed in "window" since the last call.
  virtual void draw(const Window& window) = 0;
  // Called after "window" closed or was ordered out: stop taking input,
  // leave the screen tidy. The window may be shown again.
  virtual void windowDidClose(Window& window) = 0;
};

// Draws nothing. As nobody can close its window, it closes the window itself
// once the window shows a final failure (a red status text).
std::unique_ptr<FrontEnd> NewHeadlessFrontEnd();

}  // namespace ui

#endif  // UI_FRONT_END_H_
