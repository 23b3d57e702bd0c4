#include "ui/front_end_choice.h"

namespace ui {

std::vector<FrontEndKind> frontEndsToTry(const FrontEndSetting& setting) {
  if (setting.requested == "headless") return {FrontEndKind::kHeadless};
  if (setting.requested == "terminal" && setting.terminal) {
    return {FrontEndKind::kTerminal};
  }
  std::vector<FrontEndKind> kinds;
  if (setting.requested == "gui" ||
      (setting.requested.empty() && setting.hasDisplay)) {
    kinds.push_back(FrontEndKind::kGtk);
  }
  kinds.push_back(setting.terminal && setting.foreground
                      ? FrontEndKind::kTerminal
                      : FrontEndKind::kHeadless);
  return kinds;
}

}  // namespace ui
