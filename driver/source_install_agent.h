#ifndef DRIVER_SOURCE_INSTALL_AGENT_H_
#define DRIVER_SOURCE_INSTALL_AGENT_H_

#include <string>

#include "base/error_reporter.h"
#include "download/window_settings.h"

// Makes an unpacked install agent available and returns its launcher, or ""
// when there is none to launch.
//
// A shipped archive (InstallAgent.zip in the bundle's resources, else the
// first InstallAgent_*.zip the resource directory lists) is unpacked into
// "payloadDir". A failed unpack, or one that leaves no launcher that is a
// regular file, reports "Failed to initialize the install agent."; a
// shipped archive that fails is never followed by a download.
//
// Without one, the per-user cache's agent directory is made and the download
// window is run, saving the archive in "payloadDir". The window starts the
// cached agent itself: when it did, "*startedByWindow" is set and the cached
// launcher is returned for information only; it must not be started again.
// When the window ended without starting it, the result is "". The window
// is shown and downloads as "window" says.
std::string sourceInstallAgent(std::string payloadDir, ErrorReporter reporter,
                               bool* startedByWindow,
                               const WindowSettings& window);

#endif  // DRIVER_SOURCE_INSTALL_AGENT_H_
