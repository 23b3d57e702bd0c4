#ifndef PLATFORM_UI_APPLICATION_H_
#define PLATFORM_UI_APPLICATION_H_

#include "platform/loop/event_loop.h"
#include "platform/ui/window.h"

namespace platform {

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
  explicit Application(EventLoop* loop);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The application that exists now (there is at most one), or nullptr.
  static Application* shared();

  void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
  void setMainWindow(Window* window) { window_ = window; }
  EventLoop& loop() { return *loop_; }

  // Shows the main window, sends applicationDidFinishLaunching, runs the
  // loop until stop(), and returns the termination status.
  int run();
  // Ends run() once the callback now running has returned. Harmless when
  // repeated.
  void stop(const void* sender);
  // What run() returns; 0 unless set.
  void setTerminationStatus(int status) { status_ = status; }

 private:
  EventLoop* loop_;
  ApplicationDelegate* delegate_ = nullptr;
  Window* window_ = nullptr;
  int status_ = 0;
};

}  // namespace platform

#endif  // PLATFORM_UI_APPLICATION_H_
