#include "platform/ui/shown_window.h"

#include <csignal>

namespace platform {

namespace {

EventLoop::Callback closer(ShownWindow::Ref ref) {
  return [ref] {
    if (Window* window = ref.get()) window->close();
  };
}

}  // namespace

void ShownWindow::show(Window& window, EventLoop& loop) {
  *window_ = &window;
  loop_ = &loop;
  loop.watchSignal(SIGINT, closer(ref()));
  loop.watchSignal(SIGTERM, closer(ref()));
}

void ShownWindow::closeSoon() {
  if (isShown()) loop_->performAfterDelay(0, closer(ref()));
}

}  // namespace platform
