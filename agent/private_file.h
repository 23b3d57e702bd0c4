#ifndef AGENT_PRIVATE_FILE_H_
#define AGENT_PRIVATE_FILE_H_

#include <string>

// The small files of the cache that say what an agent is (its stamp, the key
// that verified it): only trusted when the user alone could have written
// them, and never read or written through a link. Nothing here reports
// failures beyond its result.

// The first line of the file at "path", without its line feed; "" when there
// is none, it cannot be read, or it is not a plain file of the user's own
// that no one else may write (isPrivateEntry; a link is not followed).
std::string readPrivateLine(const std::string& path);

// Replaces the file at "path" with "bytes" in one step: they go to a fresh
// file made beside it (mode 0600, never a link planted under its name),
// which is then renamed over it. False when that failed, with "path" as it
// was.
bool replacePrivateFile(const std::string& path, const std::string& bytes);

#endif  // AGENT_PRIVATE_FILE_H_
