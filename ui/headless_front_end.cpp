#include <memory>

#include "ui/controls.h"
#include "ui/front_end.h"
#include "ui/shown_window.h"

namespace ui {

namespace {

// For runs without a terminal. A red status text is the window's final
// failure: it waits for someone to close it, and here nobody can.
class HeadlessFrontEnd : public FrontEnd {
 public:
  void windowDidShow(Window& window, platform::EventLoop& loop) override {
    shown_.show(window, loop);
    closing_ = false;
    draw(window);
  }

  void draw(const Window& window) override {
    if (closing_ || !showsFailure(window)) return;
    closing_ = true;
    shown_.closeSoon();
  }

  void windowDidClose(Window&) override { shown_.hide(); }

 private:
  static bool showsFailure(const Window& window) {
    for (const Control* control : window.controls()) {
      const auto* text = dynamic_cast<const TextFieldCell*>(control);
      if (text != nullptr && text->textColor() == Color::kRed) return true;
    }
    return false;
  }

  ShownWindow shown_;
  bool closing_ = false;
};

}  // namespace

std::unique_ptr<FrontEnd> NewHeadlessFrontEnd() {
  return std::make_unique<HeadlessFrontEnd>();
}

}  // namespace ui
