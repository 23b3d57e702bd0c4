#include "ui/terminal_lines.h"

#include <algorithm>
#include <cstddef>

namespace ui {

namespace {

constexpr int kMaxBarWidth = 40;
constexpr char kEllipsis[] = "\u2026";

bool continues(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The visible characters of UTF-8 "text": one per character.
std::size_t visibleLength(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return !continues(c); }));
}

// The byte offset of "text" after its first "count" characters.
std::size_t offsetOf(const std::string& text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t seen = 0; at < text.size(); ++at) {
    if (!continues(text[at]) && seen++ == count) break;
  }
  return at;
}

// At most "width" characters of "text", no character split.
std::string clip(const std::string& text, int width) {
  return text.substr(0, offsetOf(text, static_cast<std::size_t>(std::max(width, 0))));
}

// "text" in lines of at most "width" characters, broken at spaces.
std::vector<std::string> wrap(const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string rest = text;
  const std::size_t room = static_cast<std::size_t>(std::max(width, 1));
  while (visibleLength(rest) > room) {
    const std::size_t limit = offsetOf(rest, room);
    // The last space that keeps the line within the width.
    const std::size_t space = rest.rfind(' ', limit);
    if (space == std::string::npos || space == 0) {
      lines.push_back(rest.substr(0, limit));
      rest.erase(0, limit);
    } else {
      lines.push_back(rest.substr(0, space));
      rest.erase(0, space + 1);
    }
  }
  lines.push_back(rest);
  return lines;
}

// "text" within "width" characters, cut at a word and marked with "…".
std::string shorten(const std::string& text, int width) {
  if (static_cast<int>(visibleLength(text)) <= width) return text;
  std::string cut = clip(text, width - 1);
  const std::size_t space = cut.rfind(' ');
  if (space != std::string::npos && space > 0) cut.resize(space);
  return cut + kEllipsis;
}

void addText(const TextFieldCell& cell, int width,
             std::vector<std::string>* lines) {
  const std::string& text = cell.stringValue();
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\n', start);
    for (std::string line : wrap(text.substr(start, end - start), width)) {
      if (cell.textColor() == Color::kRed) line = "\x1b[31m" + line + "\x1b[0m";
      lines->push_back(std::move(line));
    }
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
  std::vector<std::string> lines = {shorten(window.title(), width)};
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

std::string terminalSummaryLine(const Window& window, int columns) {
  if (window.summary().empty()) return "";
  return shorten(window.title() + ": " + window.summary(), columns - 1);
}

}  // namespace ui
