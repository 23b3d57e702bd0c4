#include "driver/driver.h"

#include "agent/agent_launch.h"
#include "agent/bundle_paths.h"
#include "agent/shell_command.h"
#include "agent/signed_release.h"
#include "driver/invocation.h"
#include "driver/source_install_agent.h"
#include "driver/temp_dir.h"
#include "platform/os/termination_signals.h"

int extractPayloadToDir(std::string /*payloadDir*/,
                        ErrorReporter /*reporter*/) {
  return 0;
}

int mainFcn(int argc, const char* const argv[], ErrorReporter reporter) {
  const Invocation invocation = readInvocation();
  setReleaseClockAhead(invocation.releaseClockAhead);
  // A signal asking the run to end is caught from here on, so that the
  // working directory still goes; the download window takes such signals
  // over while it is shown.
  const platform::TerminationSignals signals;
  // Declared next so the working directory outlives every step and goes
  // last, after the agent's shell has returned.
  TempDir tempDir("tmp_install_dir");

  std::string payloadDir = tempDir.getDir();
  if (invocation.payloadBesideBundle) {
    // What is unpacked there stays, and no other run's directory goes.
    payloadDir = getDirectoryOfExecutable();
  } else if (payloadDir.empty()) {
    // Never the folder beside the bundle instead: the user's own files
    // there would be overwritten, or removed with a cut download.
    reporter(tempDir.failure(), true);
    return -1;
  } else {
    tempDir.removeLeftoversOfEndedRuns();
  }

  const int code = extractPayloadToDir(payloadDir, reporter);
  if (code != 0) {
    reporter("Internal error: Failed to initialize application installer (" +
                 std::to_string(code) + ")",
             true);
    return -1;
  }

  bool startedByWindow = false;
  const std::string launcher = sourceInstallAgent(
      payloadDir, reporter, &startedByWindow, invocation.window);
  if (launcher.empty()) return -1;
  if (startedByWindow) return 0;  // Starting it again would run it twice.
  // A signal that came while the agent was unpacked wins: nothing starts.
  if (platform::TerminationSignals::received() != 0) return -1;

  // After "--", the launcher's path is never read as options.
  const std::string command = "sh -- " + smart_quote(launcher);
  const std::string bundleLocation = getBundleLocation();
  if (!fireInstallAgentWithArgs(launcher, command, bundleLocation, argc, argv,
                                reporter)) {
    reporter("Failed to start the instal agent", true);
    return -1;
  }
  // SIGTERM or SIGHUP went on to the agent as well; the run was cut short.
  if (platform::TerminationSignals::received() != 0) return -1;
  return 0;
}
