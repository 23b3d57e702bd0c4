#ifndef UI_SHOWN_WINDOW_H_
#define UI_SHOWN_WINDOW_H_

#include <memory>
#include <utility>

#include "platform/loop/event_loop.h"
#include "ui/window.h"

namespace ui {

// The window a front end shows, as seen by the callbacks the front end
// leaves in the event loop. The loop cannot forget a signal watch and may
// outlive the front end, so those callbacks hold a Ref, which yields the
// window only while it is shown and this object exists.
class ShownWindow {
 public:
  class Ref {
   public:
    // The window, or nullptr once it was hidden or its ShownWindow is gone.
    Window* get() const {
      std::shared_ptr<Window*> window = window_.lock();
      return window ? *window : nullptr;
    }

   private:
    friend class ShownWindow;
    explicit Ref(std::weak_ptr<Window*> window) : window_(std::move(window)) {}
    std::weak_ptr<Window*> window_;
  };

  // Remembers "window" and closes it, as its close box would, when SIGINT,
  // SIGTERM, SIGHUP, SIGQUIT or SIGALRM arrives. "loop" must outlive the
  // showing.
  void show(Window& window, platform::EventLoop& loop);
  // Forgets the window.
  void hide() { *window_ = nullptr; }
  bool isShown() const { return *window_ != nullptr; }
  Ref ref() const { return Ref(window_); }

  // Closes the window from the loop's next iteration, never from inside the
  // caller (a front end's draw must not close the window it is drawing).
  void closeSoon();

 private:
  std::shared_ptr<Window*> window_ = std::make_shared<Window*>(nullptr);
  platform::EventLoop* loop_ = nullptr;
};

// True when a signal that closes a shown window (as above) has arrived and
// waits for "loop" to deliver it. Runs nothing.
bool closingSignalPending(platform::EventLoop& loop);

}  // namespace ui

#endif  // UI_SHOWN_WINDOW_H_
