#include "ui/window.h"

#include "ui/application.h"
#include "ui/front_end.h"

namespace ui {

void Window::addControl(Control* control) {
  controls_.push_back(control);
  control->setWindow(this);
  needsDisplay_ = true;
}

void Window::orderFront() {
  if (visible_) return;
  open_ = true;
  visible_ = true;
  needsDisplay_ = false;
  // The front end takes the window's input from the application's loop, as
  // every other event of the run arrives there.
  if (frontEnd_ != nullptr) {
    frontEnd_->windowDidShow(*this, Application::shared()->loop());
  }
}

void Window::orderOut() {
  if (!visible_) return;
  visible_ = false;
  if (frontEnd_ != nullptr) frontEnd_->windowDidClose(*this);
}

void Window::close() {
  if (!open_) return;
  // Closed before the delegate hears of it, so that a delegate closing the
  // window again does not announce a second close.
  open_ = false;
  const bool wasVisible = visible_;
  visible_ = false;
  if (delegate_ != nullptr) delegate_->windowWillClose(this);
  if (wasVisible && frontEnd_ != nullptr) frontEnd_->windowDidClose(*this);
}

void Window::displayIfNeeded() {
  if (!visible_ || !needsDisplay_) return;
  needsDisplay_ = false;
  if (frontEnd_ != nullptr) frontEnd_->draw(*this);
}

}  // namespace ui
