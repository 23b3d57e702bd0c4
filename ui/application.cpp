#include "ui/application.h"

namespace ui {

namespace {
Application* current = nullptr;
}  // namespace

Application::Application(platform::EventLoop* loop) : loop_(loop) { current = this; }

Application::~Application() {
  if (current == this) current = nullptr;
}

Application* Application::shared() { return current; }

int Application::run() {
  if (window_ != nullptr) window_->orderFront();
  if (delegate_ != nullptr) delegate_->applicationDidFinishLaunching();
  // The loop's first batch may be far off (a server slow to answer), so what
  // the launch changed is shown now.
  auto displayPass = [this] {
    if (window_ != nullptr) window_->displayIfNeeded();
  };
  displayPass();
  // A stop requested by the launch itself is kept by the loop, whose run then
  // returns at once.
  loop_->run(displayPass);
  return status_;
}

void Application::stop() { loop_->stop(); }

}  // namespace ui
