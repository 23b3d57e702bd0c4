#ifndef UI_TERMINAL_LINES_H_
#define UI_TERMINAL_LINES_H_

#include <string>
#include <vector>

#include "ui/window.h"

namespace ui {

// The lines that show "window" on a terminal "columns" wide, top to bottom,
// none longer than columns - 1 visible characters (so that no line wraps):
// - first, the window's title, shortened at a word with "…";
// - a text: its lines wrapped at words (a word too long for a line is cut),
//   red ones inside SGR 31 ... SGR 0; an empty text takes an empty line;
// - a bar: "[####......]", filled in proportion to its value, or all "~"
//   while its progress is indeterminate;
// - a button: "[ Title: Return ]" while it is enabled (the key named after
//   its key equivalent), an empty line while it is not;
// - an image: nothing.
std::vector<std::string> terminalLines(const Window& window, int columns);

// The one line that stands for "window" once it is gone:
// "<title>: <summary>", shortened as the title is; "" without a summary.
std::string terminalSummaryLine(const Window& window, int columns);

}  // namespace ui

#endif  // UI_TERMINAL_LINES_H_
