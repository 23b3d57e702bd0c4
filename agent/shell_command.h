#ifndef AGENT_SHELL_COMMAND_H_
#define AGENT_SHELL_COMMAND_H_

#include <string>
#include <vector>

#include "platform/os/process_runner.h"

// "text" as one word of a shell command line, reaching the program byte for
// byte with nothing expanded. Text of letters, digits, bytes above 0x7F and
// _@%+=:,./- stays bare; text that also holds blanks or tabs is put in
// double quotes; anything else goes in single quotes. "" stays "", which the
// shell drops: callers that need an empty word must write '' themselves.
std::string smart_quote(std::string text);

// argv[1] to argv[argc - 1] as shell words, each followed by one blank; an
// empty argument becomes ''. "" when argc is below 2.
std::string argv2cmdline(int argc, const char* const argv[]);

// Runs "command" with the system shell (/bin/sh -c), waits for it and
// returns what system() would: the shell's wait status, or -1 with errno set
// when the shell could not be started (E2BIG: "command" is longer than the
// kernel takes as one argument). "input" is the shell's standard input; the
// shell, and what it starts, get no other descriptor but standard output,
// standard error and "inheritedFds". "program" names what the command
// starts; it is not used to run it.
int call_system(std::string program, std::string command,
                platform::StandardInput input,
                const std::vector<int>& inheritedFds);

#endif  // AGENT_SHELL_COMMAND_H_
