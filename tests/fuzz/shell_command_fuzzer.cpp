// Fuzzes the quoting and the two command lines built from it: the input,
// split at NUL bytes, gives two paths and the user's arguments, and every
// word must come back from a reference reading of the shell's rules exactly
// as it went in. A mismatch prints the line and aborts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_launch.h"
#include "agent/shell_command.h"
#include "tests/fuzz/shell_words.h"

namespace {

using Words = std::vector<std::string>;

[[noreturn]] void fail(const std::string& what, const std::string& line) {
  std::fprintf(stderr, "%s\n--- line (%zu bytes) ---\n", what.c_str(),
               line.size());
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fprintf(stderr, "\n---\n");
  std::abort();
}

void expectWords(const std::string& line, const Words& expected) {
  const std::optional<Words> words = splitShellWords(line);
  if (!words) fail("the shell would interpret this line", line);
  if (*words != expected)
    fail("the shell would split this line otherwise", line);
}

// The words of a path that went through smart_quote: none when it is empty.
void appendPathWord(Words& words, const std::string& path) {
  if (!path.empty()) words.push_back(path);
}

// Text of characters that never need quoting must keep its old look: bare,
// or in double quotes when it holds blanks or tabs.
void checkPlainTextLooksAsBefore(const std::string& text) {
  bool blank = false;
  for (unsigned char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '_' || c == '.' ||
                       c == '/' || c == '-';
    if (c == ' ' || c == '\t') {
      blank = true;
    } else if (!plain) {
      return;
    }
  }
  const std::string quoted = smart_quote(text);
  if (quoted != (blank ? "\"" + text + "\"" : text))
    fail("changed look", quoted);
}

// Known readings, so that a broken reference cannot hide a broken quoting.
void checkReference() {
  const std::optional<Words> words =
      splitShellWords("a\t'b c' \"d\te\" f\\'g '' h'i'\"j\"  ");
  if (!words || *words != Words{"a", "b c", "d\te", "f'g", "", "hij"})
    fail("reference reading is wrong", "");
  for (const char* interpreted :
       {"$x", "a;b", "\"$x\"", "'open", "\"\\\"", "`x`", "a\nb", "~", "#", "*",
        "a|b", "a&", "(x)", "<x", "\\\n", "\\"}) {
    if (splitShellWords(interpreted)) fail("reference accepts", interpreted);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  checkReference();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Words pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
    }
  }
  pieces.resize(std::max<size_t>(pieces.size(), 2));
  const std::string& path = pieces[0];
  const std::string& location = pieces[1];
  const Words arguments(pieces.begin() + 2, pieces.end());

  for (const std::string& piece : pieces) {
    Words word;
    appendPathWord(word, piece);
    expectWords(smart_quote(piece), word);
    checkPlainTextLooksAsBefore(piece);
  }

  // The unzip tool is always named by the caller's own constant.
  Words unzip = {"unzip", "-qq", "-o", "-P", ""};
  appendPathWord(unzip, !path.empty() && path[0] == '-' ? "./" + path : path);
  unzip.push_back("-d");
  appendPathWord(unzip, location);
  expectWords(unzipCommandLine(path, location, "unzip"), unzip);

  std::vector<const char*> argv = {"bootstrapper"};
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  const std::string command = "sh " + smart_quote(path);
  const std::string line = agentCommandLine(
      command, location, static_cast<int>(argv.size()), argv.data());
  Words agent = {"sh"};
  appendPathWord(agent, path);
  agent.push_back("-installbundle");
  agent.push_back(location + "/bundle.zip");
  agent.insert(agent.end(), arguments.begin(), arguments.end());
  expectWords(line, agent);
  if (line.compare(0, command.size(), command) != 0 ||
      (!arguments.empty() && line.back() != ' ')) {
    fail("the line lost its shape", line);
  }
  return 0;
}
