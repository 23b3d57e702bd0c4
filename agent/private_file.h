#ifndef AGENT_PRIVATE_FILE_H_
#define AGENT_PRIVATE_FILE_H_

#include <sys/stat.h>

#include <string>

// What in the cache the user alone could have written, and the small files
// of it that say what an agent is (its stamp, the key that verified it):
// only trusted when private, and never read or written through a link.
// Nothing here prints or logs: failures show in the results.

// True when "info" (from lstat or fstat) describes a file or directory that
// the effective user owns and that neither its group nor others may write.
// Only such entries of the cache are trusted: anything else could have been
// planted or changed by another user.
bool isPrivateEntry(const struct stat& info);

// The first line of the file at "path", without its line feed; "" when there
// is none, it cannot be read, or it is not a plain file of the user's own
// that no one else may write (isPrivateEntry; a link is not followed).
std::string readPrivateLine(const std::string& path);

// The whole of such a file; "" as above, and also when it holds more than
// "maxSize" bytes.
std::string readPrivateText(const std::string& path,
                            std::string::size_type maxSize);

// Replaces the file at "path" with "bytes" in one step: they go to a fresh
// file made beside it (mode 0600, never a link planted under its name),
// which is then renamed over it. False when that failed, with "path" as it
// was and the system's reason in "*error" ("Permission denied.").
bool replacePrivateFile(const std::string& path, const std::string& bytes,
                        std::string* error);

#endif  // AGENT_PRIVATE_FILE_H_
