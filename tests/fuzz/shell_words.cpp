#include "tests/fuzz/shell_words.h"

#include <cstring>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Unquoted, these end a word, start a quote, expand, glob, redirect,
// separate commands, or start a comment, a tilde prefix or a reserved word.
// '^' is a pipe in the historical Bourne shell.
bool isSpecial(char c) {
  return c == '\0' || std::strchr(" \t\n!\"#$&'()*;<>?[\\`^{|}~", c) != nullptr;
}

}  // namespace

std::optional<std::vector<std::string>> splitShellWords(
    const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;  // Also true for a word of empty quotes.
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (isBlank(c)) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      const std::size_t end = line.find('\'', i + 1);
      if (end == std::string::npos) return std::nullopt;
      word.append(line, i + 1, end - i - 1);
      i = end;
    } else if (c == '"') {
      const std::size_t end = line.find_first_of("\"$`\\", i + 1);
      if (end == std::string::npos || line[end] != '"') return std::nullopt;
      word.append(line, i + 1, end - i - 1);
      i = end;
    } else if (c == '\\') {
      if (i + 1 == line.size() || line[i + 1] == '\n') return std::nullopt;
      word += line[++i];
    } else if (isSpecial(c)) {
      return std::nullopt;
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}
