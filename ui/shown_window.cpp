#include "ui/shown_window.h"

#include <csignal>

namespace ui {

namespace {

platform::EventLoop::Callback closer(ShownWindow::Ref ref) {
  return [ref] {
    if (Window* window = ref.get()) window->close();
  };
}

}  // namespace

void ShownWindow::show(Window& window, platform::EventLoop& loop) {
  *window_ = &window;
  loop_ = &loop;
  // Each asks the run to end: Ctrl-C, kill, the terminal closed (SIGHUP),
  // Ctrl-\ and a timer's alarm. Closing cancels the download, so nothing
  // half-written stays, and leaves the terminal as it was.
  for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM}) {
    loop.watchSignal(signo, closer(ref()));
  }
}

void ShownWindow::closeSoon() {
  if (isShown()) loop_->performAfterDelay(0, closer(ref()));
}

}  // namespace ui
