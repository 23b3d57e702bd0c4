#ifndef PLATFORM_OS_POSIX_ERROR_H_
#define PLATFORM_OS_POSIX_ERROR_H_

#include <string>

namespace platform {

// The one place an errno value becomes text: "context: <the system's text
// for errnum>.", or the system's text and the full stop alone for an empty
// "context", to end a message the caller composes.
std::string posixError(const std::string& context, int errnum);

}  // namespace platform

#endif  // PLATFORM_OS_POSIX_ERROR_H_
