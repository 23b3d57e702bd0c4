#ifndef DOWNLOAD_DOWNLOAD_WINDOW_H_
#define DOWNLOAD_DOWNLOAD_WINDOW_H_

#include <optional>
#include <string>
#include <vector>

#include "agent/bundle_public_key.h"
#include "base/error_reporter.h"
#include "download/window_settings.h"

// Where the download window stores the archive, where it fetches it from,
// and the keys it must be signed with (none: unsigned archives are taken).
// Set by downloadInstallAgentFromQZ; they keep their values afterwards.
extern std::string downloadTo;
extern std::string downloadFrom;
extern std::optional<SigningKeys> downloadSigningKeys;
// The bundle's further URLs of the archive (agent/bundle_mirrors.h).
extern std::vector<std::string> downloadMirrors;

// Runs the download window until its loop ends, downloading the install agent
// archive to "destination". True when the window's run ended with a non-zero
// status. First reads the bundle's public keys, floor and mirrors: a file that
// cannot be read or parsed is reported through "reporter" and ends it with
// false before any download. Past that, the window reports in its own status
// line and in the system log. "settings" go on to CallNSApplicationMain.
bool downloadInstallAgentFromQZ(const char* destination, ErrorReporter reporter,
                                const WindowSettings& settings);

// Loads the window on the front end "settings" choose and runs the
// application loop; returns the loop's status. The downloads retry
// transient failures, pausing as "settings" scale it, over the attempts of
// platform::Service<platform::WebDownloadFactory>. The first two arguments
// are ignored.
int CallNSApplicationMain(int argc, const char** argv,
                          const WindowSettings& settings);

#endif  // DOWNLOAD_DOWNLOAD_WINDOW_H_
