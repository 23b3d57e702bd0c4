#ifndef AGENT_PRIVATE_ENTRY_H_
#define AGENT_PRIVATE_ENTRY_H_

#include <sys/stat.h>

// True when "info" (from lstat or fstat) describes a file or directory that
// the effective user owns and that neither its group nor others may write.
// Only such entries of the cache are trusted: anything else could have been
// planted or changed by another user.
bool isPrivateEntry(const struct stat& info);

#endif  // AGENT_PRIVATE_ENTRY_H_
