#include "ui/terminal_lines.h"

#include <algorithm>
#include <cstddef>

namespace ui {

namespace {

constexpr int kMaxBarWidth = 40;

// At most "width" bytes of "text", cut before a UTF-8 continuation byte so
// that no character is split.
std::string clip(const std::string& text, int width) {
  std::size_t end = std::max(width, 0);
  if (text.size() <= end) return text;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    --end;
  }
  return text.substr(0, end);
}

void addText(const TextFieldCell& cell, int width,
             std::vector<std::string>* lines) {
  const std::string& text = cell.stringValue();
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\n', start);
    std::string line = clip(text.substr(start, end - start), width);
    if (cell.textColor() == Color::kRed) line = "\x1b[31m" + line + "\x1b[0m";
    lines->push_back(std::move(line));
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

std::string bar(const ProgressIndicator& indicator, int width) {
  int inside = std::clamp(width - 2, 1, kMaxBarWidth);
  if (indicator.isIndeterminate()) return "[" + std::string(inside, '~') + "]";
  double fraction = indicator.maxValue() > 0
                        ? indicator.doubleValue() / indicator.maxValue()
                        : 0.0;
  int filled = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * inside);
  return "[" + std::string(filled, '#') + std::string(inside - filled, '.') +
         "]";
}

std::string buttonHint(const Button& button, int width) {
  if (!button.isEnabled()) return "";
  const std::string& key = button.keyEquivalent();
  std::string hint = "[ " + button.title();
  if (!key.empty()) hint += ": " + (key == "\r" ? std::string("Return") : key);
  return clip(hint + " ]", width);
}

}  // namespace

std::vector<std::string> terminalLines(const Window& window, int columns) {
  const int width = columns - 1;
  std::vector<std::string> lines = {clip(window.title(), width)};
  for (const Control* control : window.controls()) {
    if (const auto* text = dynamic_cast<const TextFieldCell*>(control)) {
      addText(*text, width, &lines);
    } else if (const auto* indicator =
                   dynamic_cast<const ProgressIndicator*>(control)) {
      lines.push_back(bar(*indicator, width));
    } else if (const auto* button = dynamic_cast<const Button*>(control)) {
      lines.push_back(buttonHint(*button, width));
    }
  }
  return lines;
}

}  // namespace ui
