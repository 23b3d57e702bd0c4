#ifndef DOWNLOAD_WINDOW_SETTINGS_H_
#define DOWNLOAD_WINDOW_SETTINGS_H_

#include <string>

#include "platform/net/web_download.h"

// What the download window takes from the run's environment. The driver
// reads it once (driver/invocation.h); nothing below reads it again.
struct WindowSettings {
  // The front end asked for (QZ_INSTALLER_FRONT_END); "" when none is.
  std::string requestedFrontEnd;
  // Whether a display is named (DISPLAY or WAYLAND_DISPLAY, not empty).
  bool hasDisplay = false;
  // Multiplies every pause between download attempts, in (0, 1].
  double retryWaitScale = 1.0;
  // The CAs to trust for HTTPS instead of the system's (SSL_CERT_FILE), and
  // whether the desktop's proxy settings apply (no proxy variable is set).
  platform::Connection connection;
};

#endif  // DOWNLOAD_WINDOW_SETTINGS_H_
