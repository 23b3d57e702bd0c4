#include "agent/shell_command.h"

#include <cerrno>
#include <cstring>

#include "platform/os/service.h"

namespace {

// Characters the shell gives no meaning to in any position of a word. The
// NUL test keeps strchr from matching the set's terminator.
bool isBare(unsigned char c) {
  return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') ||
         (c != '\0' && std::strchr("_@%+=:,./-", c) != nullptr);
}

bool isBlank(unsigned char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string smart_quote(std::string text) {
  bool hasBlank = false;
  bool hasOther = false;
  for (unsigned char c : text) {
    if (isBlank(c)) {
      hasBlank = true;
    } else if (!isBare(c)) {
      hasOther = true;
    }
  }
  if (!hasOther) return hasBlank ? "\"" + text + "\"" : text;

  // Inside single quotes every byte is literal; a single quote itself is
  // closed, escaped and reopened.
  std::string quoted = "'";
  for (char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

std::string argv2cmdline(int argc, const char* const argv[]) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    line += argument.empty() ? "''" : smart_quote(argument);
    line += " ";
  }
  return line;
}

int call_system(std::string /*program*/, std::string command,
                platform::StandardInput input,
                const std::vector<int>& inheritedFds) {
  // Not system(3) itself: it cannot say that the line was too long to hand
  // over, and it cannot give the shell another standard input.
  const platform::ProcessOutcome outcome =
      platform::Service<platform::ProcessRunner>::get().run(
          "/bin/sh", {"sh", "-c", command}, input, inheritedFds);
  if (outcome.startError != 0) {
    errno = outcome.startError;
    return -1;
  }
  return outcome.waitStatus;
}
