#ifndef UI_FRONT_END_CHOICE_H_
#define UI_FRONT_END_CHOICE_H_

#include <string>
#include <vector>

namespace ui {

enum class FrontEndKind { kGtk, kTerminal, kHeadless };

// What the choice of a front end depends on.
struct FrontEndSetting {
  std::string requested;  // "gui", "terminal", "headless", or anything else
  bool hasDisplay = false;        // an X or Wayland display is named
  bool terminal = false;          // standard error is a terminal
  bool foreground = false;        // ... and the run is in its foreground
};

// The front ends to try, in order; the first that can be shown is used, and
// the last always can. "requested" wins (terminal only on a terminal, since
// without one a failed run would wait forever for a key). Otherwise the GTK
// window when a display is named, else the terminal when the run is in its
// foreground (a background run cannot read keys), else headless.
std::vector<FrontEndKind> frontEndsToTry(const FrontEndSetting& setting);

}  // namespace ui

#endif  // UI_FRONT_END_CHOICE_H_
