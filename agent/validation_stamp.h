#ifndef AGENT_VALIDATION_STAMP_H_
#define AGENT_VALIDATION_STAMP_H_

#include <string>

// The validation stamp: the ETag value of the download a cached agent came
// from, stored as its exact bytes, with no terminator, in "dir/.validatestring"
// (the separator is added even when "dir" ends with one). Only the text
// before the first line feed is compared. Only an entity-tag is stored.
// Nothing here reports failures.

// True when "text" is an entity-tag as HTTP defines it: an optional "W/", a
// double quote, any bytes of 0x21, 0x23 to 0x7E and 0x80 to 0xFF, and a
// closing double quote. Anything else (a bare CR, say) is never stored or
// sent back: a server may refuse every request that carries it.
bool isEntityTag(const std::string& text);

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
// over it. An empty "stamp", or one that is no entity-tag, removes the
// stamp. Call with the cache locked.
// False when the stamp could not be written or removed.
bool writeValidationString(const std::string& dir, const std::string& stamp);

// Removes the stamp in "dir", if there is one. Call with the cache locked.
// False when it is there still, with the system's reason in "*error".
bool removeValidationString(const std::string& dir, std::string* error);

#endif  // AGENT_VALIDATION_STAMP_H_
