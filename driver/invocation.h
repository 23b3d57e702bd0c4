#ifndef DRIVER_INVOCATION_H_
#define DRIVER_INVOCATION_H_

#include "download/window_settings.h"

// The run's configuration, read from the environment once, at the start,
// and handed down to the steps that need it. The proxies are libcurl's to
// read; HOME, TMPDIR and QZ_INTERNAL_INSTALL_AGENT_URL are read where they
// are used, at the moment they are needed.
struct Invocation {
  // __QZ_BOOTSTRAP_INSTALLER_UNITTEST__ is present, even empty: the agent
  // is unpacked beside the bundle and stays there.
  bool payloadBesideBundle = false;
  WindowSettings window;
};

Invocation readInvocation();

#endif  // DRIVER_INVOCATION_H_
