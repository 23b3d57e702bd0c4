#ifndef PLATFORM_OS_WRITE_ALL_H_
#define PLATFORM_OS_WRITE_ALL_H_

#include <cstddef>

namespace platform {

// Writes all "size" bytes of "data" to "fd", again after an interrupted or
// short write. False, with errno saying why, when a write fails.
bool writeAll(int fd, const char* data, std::size_t size);

}  // namespace platform

#endif  // PLATFORM_OS_WRITE_ALL_H_
