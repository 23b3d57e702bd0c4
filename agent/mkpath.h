#ifndef AGENT_MKPATH_H_
#define AGENT_MKPATH_H_

#include <cstdint>
#include <string>

// Creates every missing directory of "path" with "mode" (less the umask).
// Returns 0 when all of them exist afterwards. Returns -1 with errno set
// when one does not, and creates nothing after it: ENOTDIR for a component
// that exists as something else, mkdir's errno for one that cannot be made.
int mkpath(std::string path, std::uint16_t mode);

#endif  // AGENT_MKPATH_H_
