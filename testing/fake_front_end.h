#ifndef TESTING_FAKE_FRONT_END_H_
#define TESTING_FAKE_FRONT_END_H_

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/front_end.h"

namespace ui {

// What a window showed in one drawing: its first text, bar and button.
struct Drawing {
  std::string status;
  Color statusColor = Color::kControlText;
  double value = 0;
  double maxValue = 0;
  bool indeterminate = false;
  bool animating = false;
  bool buttonEnabled = false;
};

// A front end that records what it was asked to show. It takes no input and
// watches no signals; a test closes the window itself.
struct FakeFrontEnd : FrontEnd {
  void windowDidShow(Window& window, platform::EventLoop& loop) override;
  void draw(const Window& window) override;
  void windowDidClose(Window& window) override;

  const Drawing& lastDrawing() const { return drawings.back(); }

  std::vector<Drawing> drawings;  // one per draw, the first when shown
  int shown = 0;
  int closed = 0;
};

}  // namespace ui

#endif  // TESTING_FAKE_FRONT_END_H_
