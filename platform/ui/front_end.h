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
  // Called after "window" closed or was ordered out: stop taking input,
  // leave the screen tidy. The window may be shown again.
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
// Shows the window on the desktop with GTK, from the module beside the
// executable (gtk_module.h). nullptr, with one line in the system log, when
// the module, GTK or the display is missing.
std::unique_ptr<FrontEnd> LoadGtkFrontEnd();
// The front end that QZ_INSTALLER_FRONT_END names (gui, terminal or
// headless; terminal only when standard error is one, else headless).
// Otherwise the GTK window when a display is named and opens,
// else the terminal front end when standard error is a terminal and the
// process is in its foreground (a background run cannot read keys), else
// headless. A window that cannot be shown falls back the same way.
std::unique_ptr<FrontEnd> NewDefaultFrontEnd();

}  // namespace platform

#endif  // PLATFORM_UI_FRONT_END_H_
