#ifndef UI_APPLICATION_H_
#define UI_APPLICATION_H_

#include "platform/loop/event_loop.h"
#include "ui/window.h"

namespace ui {

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  // Sent once, when run() starts, before any other callback.
  virtual void applicationDidFinishLaunching() = 0;
};

// The application of one run of a window: it delivers the launch to its
// delegate, then runs the event loop with a display pass over its window
// after each batch of callbacks, until stop().
class Application {
 public:
  // "loop" must outlive the application.
  explicit Application(platform::EventLoop* loop);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The application that exists now (there is at most one), or nullptr.
  static Application* shared();

  void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
  void setMainWindow(Window* window) { window_ = window; }
  platform::EventLoop& loop() { return *loop_; }

  // Shows the main window, sends applicationDidFinishLaunching, runs the
  // loop until stop(), and returns the termination status.
  int run();
  // Ends run() once the callback now running has returned. Harmless when
  // repeated.
  void stop();
  // What run() returns; 0 unless set.
  void setTerminationStatus(int status) { status_ = status; }

 private:
  platform::EventLoop* loop_;
  ApplicationDelegate* delegate_ = nullptr;
  Window* window_ = nullptr;
  int status_ = 0;
};

}  // namespace ui

#endif  // UI_APPLICATION_H_
