#ifndef AGENT_PRIVATE_ENTRY_H_
#define AGENT_PRIVATE_ENTRY_H_

#include <sys/stat.h>

// True when "info" (from lstat or fstat) describes a file or directory that
// the effective user owns and that neither its group nor others may write.
// Only such entries of the cache are trusted: anything else could have been
// planted or changed by another user.
bool isPrivateEntry(const struct stat& info);

// True when "info" describes a directory in which no other user can move,
// remove or replace the user's entries: the effective user or root owns it,
// and neither its group nor others may write it unless it is sticky, as
// /tmp is. Only below such directories does a path go on naming what the
// user made there.
bool isGuardedDirectory(const struct stat& info);

#endif  // AGENT_PRIVATE_ENTRY_H_
