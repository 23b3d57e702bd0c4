#include "ui/shown_window.h"

#include <csignal>

namespace ui {

namespace {

// Each asks the run to end: Ctrl-C, kill, the terminal closed (SIGHUP),
// Ctrl-\ and a timer's alarm.
constexpr int kClosingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM};

platform::EventLoop::Callback closer(ShownWindow::Ref ref) {
  return [ref] {
    if (Window* window = ref.get()) window->close();
  };
}

}  // namespace

void ShownWindow::show(Window& window, platform::EventLoop& loop) {
  *window_ = &window;
  loop_ = &loop;
  // Closing cancels the download, so nothing half-written stays, and leaves
  // the terminal as it was.
  for (int signo : kClosingSignals) {
    loop.watchSignal(signo, closer(ref()));
  }
}

void ShownWindow::closeSoon() {
  if (isShown()) loop_->performAfterDelay(0, closer(ref()));
}

bool closingSignalPending(platform::EventLoop& loop) {
  for (int signo : kClosingSignals) {
    if (loop.signalPending(signo)) return true;
  }
  return false;
}

}  // namespace ui
