#include "testing/fake_front_end.h"

namespace ui {

void FakeFrontEnd::windowDidShow(Window& window, platform::EventLoop&) {
  ++shown;
  draw(window);
}

void FakeFrontEnd::draw(const Window& window) {
  Drawing drawing;
  bool text = false, bar = false, button = false;
  for (const Control* control : window.controls()) {
    if (const auto* cell = dynamic_cast<const TextFieldCell*>(control);
        cell != nullptr && !text) {
      text = true;
      drawing.status = cell->stringValue();
      drawing.statusColor = cell->textColor();
    } else if (const auto* indicator =
                   dynamic_cast<const ProgressIndicator*>(control);
               indicator != nullptr && !bar) {
      bar = true;
      drawing.value = indicator->doubleValue();
      drawing.maxValue = indicator->maxValue();
      drawing.indeterminate = indicator->isIndeterminate();
      drawing.animating = indicator->isAnimating();
    } else if (const auto* cancel = dynamic_cast<const Button*>(control);
               cancel != nullptr && !button) {
      button = true;
      drawing.buttonEnabled = cancel->isEnabled();
    }
  }
  drawings.push_back(drawing);
}

void FakeFrontEnd::windowDidClose(Window&) { ++closed; }

}  // namespace ui
