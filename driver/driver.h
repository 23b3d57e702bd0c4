#ifndef DRIVER_DRIVER_H_
#define DRIVER_DRIVER_H_

#include <string>

#include "base/error_reporter.h"

// Runs the bootstrap once: makes the working directory, chooses the payload
// directory, sources the install agent and starts it through the shell with
// every argument after argv[0], unless the download window already started
// it. Failures are reported through "reporter",
// except the closing line, which is the caller's. Returns 0 or -1.
int mainFcn(int argc, const char* const argv[], ErrorReporter reporter);

// Prepares the payload directory. There is nothing to prepare in this
// product: always 0. A non-zero code would stop the bootstrap.
int extractPayloadToDir(std::string payloadDir, ErrorReporter reporter);

#endif  // DRIVER_DRIVER_H_
