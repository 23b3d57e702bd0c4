#include "agent/agent_launch.h"

#include <sys/stat.h>

#include "agent/shell_command.h"
#include "base/constants.h"

std::string unzipCommandLine(std::string zipPath, std::string destination,
                             std::string tool) {
  // unzip knows no "--"; what follows -d is never read as an option.
  if (!zipPath.empty() && zipPath[0] == '-') zipPath = "./" + zipPath;
  // Given a password, unzip never opens the terminal itself to ask for one
  // (its standard input does not keep it from doing so): an encrypted
  // entry fails at once.
  return smart_quote(tool) + " -qq -o -P '' " + smart_quote(zipPath) + " -d " +
         smart_quote(destination);
}

std::string agentCommandLine(std::string command, std::string bundleLocation,
                             int argc, const char* const argv[]) {
  command += " -installbundle " +
             smart_quote(bundleLocation + pathSeparator + "bundle.zip");
  if (argc >= 2) command += " " + argv2cmdline(argc, argv);
  return command;
}

bool unzipInstallAgent(std::string zipPath, std::string destination,
                       std::string tool, ErrorReporter reporter) {
  struct stat info;
  if (stat(zipPath.c_str(), &info) != 0) return false;

  // Never the user's terminal: on a full disk unzip would ask there whether
  // to go on, and wait.
  const int status =
      call_system(tool, unzipCommandLine(zipPath, destination, tool),
                  platform::StandardInput::kNone, {});
  if (status != 0) {
    reporter(unzipFailureMessage, true);
    return false;
  }
  return true;
}

bool fireInstallAgentWithArgs(std::string launcher, std::string command,
                              std::string bundleLocation, int argc,
                              const char* const argv[],
                              ErrorReporter reporter) {
  command = agentCommandLine(command, bundleLocation, argc, argv);
  // The agent's own status is its business; only a shell that never
  // started (a line too long for the kernel) is a failure here.
  if (call_system(launcher, command, platform::StandardInput::kInherited, {}) ==
      -1) {
    reporter("Failed to start the instal agent", true);
    return false;
  }
  return true;
}
