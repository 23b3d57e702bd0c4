#ifndef DOWNLOAD_DOWNLOAD_WINDOW_H_
#define DOWNLOAD_DOWNLOAD_WINDOW_H_

#include <string>

#include "base/error_reporter.h"

// Where the download window stores the archive, and where it fetches it from.
// Set by downloadInstallAgentFromQZ; they keep their values afterwards.
extern std::string downloadTo;
extern std::string downloadFrom;

// Runs the download window until its loop ends, downloading the install agent
// archive to "destination". True when the window's run ended with a non-zero
// status. "reporter" is not used: the window reports in its own status line
// and in the system log.
bool downloadInstallAgentFromQZ(const char* destination, ErrorReporter reporter);

// Loads the window and runs the application loop; returns the loop's status.
// Both arguments are ignored.
int CallNSApplicationMain(int argc, const char** argv);

#endif  // DOWNLOAD_DOWNLOAD_WINDOW_H_
