#ifndef AGENT_AGENT_LAUNCH_H_
#define AGENT_AGENT_LAUNCH_H_

#include <string>

#include "base/error_reporter.h"

// What unzipInstallAgent reports when the tool fails.
inline const char unzipFailureMessage[] = "Failed to unzip the install agent";

// Unpacks the archive "zipPath" into the existing directory "destination"
// with the unzip program "tool" (found on the shell's search path),
// overwriting files without asking; its standard input is /dev/null and it
// is given an empty password, so it never waits for an answer, on the
// terminal neither: an encrypted archive fails. A missing archive gives
// false with no message and no tool run; a failing tool reports
// unzipFailureMessage and gives false.
bool unzipInstallAgent(std::string zipPath, std::string destination,
                       std::string tool, ErrorReporter reporter);

// The unzip command line: "tool", " -qq -o -P '' ", "zipPath" ("./" put
// before one that begins with "-"), " -d " and "destination", the three
// through smart_quote.
std::string unzipCommandLine(std::string zipPath, std::string destination,
                             std::string tool);

// "command" followed by " -installbundle ", the quoted
// "bundleLocation/bundle.zip" and, when argc is at least 2, " " and every
// argument after argv[0] as argv2cmdline renders them.
std::string agentCommandLine(std::string command, std::string bundleLocation,
                             int argc, const char* const argv[]);

// Completes "command" (the shell invocation of "launcher") as
// agentCommandLine does, runs it with /bin/sh -c and waits for it. The
// agent's exit status is not examined: false only when the command could
// not be handed to the shell (a line past the kernel's limit for one
// argument), after reporting "Failed to start the instal agent".
bool fireInstallAgentWithArgs(std::string launcher, std::string command,
                              std::string bundleLocation, int argc,
                              const char* const argv[], ErrorReporter reporter);

#endif  // AGENT_AGENT_LAUNCH_H_
