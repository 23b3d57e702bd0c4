#ifndef AGENT_VALIDATION_STAMP_H_
#define AGENT_VALIDATION_STAMP_H_

#include <string>

// The validation stamp: the ETag value of the download a cached agent came
// from, stored as its exact bytes, with no terminator, in "dir/.validatestring"
// (the separator is added even when "dir" ends with one). Only the text
// before the first line feed is compared. Nothing here reports failures.

// The stored stamp: the first line of the stamp file in "dir", without its
// line feed; "" when there is none, it cannot be read, or it is not a plain
// file of the user's own that no one else may write (a link is not
// followed).
std::string readValidationString(const std::string& dir);

// True when the stamp in "dir" reads (as above) as "stamp" byte for byte.
// Always false for an empty "dir" or "stamp".
bool isCacheValid(const std::string& dir, const std::string& stamp);

// Replaces the stamp in "dir" with "stamp" in one step, never through a
// link: the bytes go to a fresh file made beside it, which is then renamed
// over it. An empty "stamp" removes the stamp. Call with the cache locked.
// False when the stamp could not be written or removed.
bool writeValidationString(const std::string& dir, const std::string& stamp);

#endif  // AGENT_VALIDATION_STAMP_H_
