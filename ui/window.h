#ifndef UI_WINDOW_H_
#define UI_WINDOW_H_

#include <string>
#include <vector>

#include "ui/controls.h"

namespace ui {

class Window;
class FrontEnd;

class WindowDelegate {
 public:
  virtual ~WindowDelegate() = default;
  // The window is about to close.
  virtual void windowWillClose(Window* window) = 0;
};

// A window holding controls, drawn by a front end. It owns neither.
class Window {
 public:
  explicit Window(std::string title) : title_(std::move(title)) {}
  const std::string& title() const { return title_; }
  // How the window's work came out, in a few words ("cancelled"): a front
  // end that leaves a trace of the window once it is gone (the terminal's)
  // shows it beside the title. "" for none.
  const std::string& summary() const { return summary_; }
  void setSummary(std::string summary) { summary_ = std::move(summary); }

  void setDelegate(WindowDelegate* delegate) { delegate_ = delegate; }
  void setFrontEnd(FrontEnd* frontEnd) { frontEnd_ = frontEnd; }

  // Adds "control" to the window, top to bottom in the order added.
  void addControl(Control* control);
  const std::vector<Control*>& controls() const { return controls_; }

  // Shows the window and draws it. Needs the shared application, whose loop
  // delivers the window's input.
  void orderFront();
  // Takes a visible window off the screen without closing it: the front end
  // hides it, the delegate hears nothing, and orderFront shows it again.
  void orderOut();
  bool isVisible() const { return visible_; }
  // Closes a shown window, on the screen or ordered out: the delegate's
  // windowWillClose runs first, then the front end hides it. Closing a
  // closed or closing window does nothing.
  void close();

  // Draws the window through its front end if anything in it changed since
  // the last drawing.
  void displayIfNeeded();
  void setNeedsDisplay() { needsDisplay_ = true; }

 private:
  std::string title_;
  std::string summary_;
  WindowDelegate* delegate_ = nullptr;
  FrontEnd* frontEnd_ = nullptr;
  std::vector<Control*> controls_;
  bool open_ = false;     // shown and not closed since
  bool visible_ = false;  // on the screen
  bool needsDisplay_ = false;
};

}  // namespace ui

#endif  // UI_WINDOW_H_
