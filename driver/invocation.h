#ifndef DRIVER_INVOCATION_H_
#define DRIVER_INVOCATION_H_

#include <cstdint>

#include "download/window_settings.h"

// The run's configuration, read from the environment once, at the start,
// and handed down to the steps that need it. The proxies are libcurl's to
// read; HOME, TMPDIR and QZ_INTERNAL_INSTALL_AGENT_URL are read where they
// are used, at the moment they are needed.
struct Invocation {
  // __QZ_BOOTSTRAP_INSTALLER_UNITTEST__ is present, even empty: the agent
  // is unpacked beside the bundle and stays there.
  bool payloadBesideBundle = false;
  // __QZ_BOOTSTRAP_CLOCK_AHEAD__, for tests: seconds by which signatures'
  // expiry is judged ahead of the clock; 0 when unset or not a number.
  std::int64_t releaseClockAhead = 0;
  WindowSettings window;
};

Invocation readInvocation();

#endif  // DRIVER_INVOCATION_H_
