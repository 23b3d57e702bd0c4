#ifndef AGENT_VALIDATION_STAMP_H_
#define AGENT_VALIDATION_STAMP_H_

#include <string>

// The validation stamp: the ETag value of the download a cached agent came
// from, stored as its exact bytes, with no terminator, in "dir/.validatestring"
// (the separator is added even when "dir" ends with one). Only the text
// before the first line feed is compared. Nothing here reports failures.

// The stored stamp: the first line of the stamp file in "dir", without its
// line feed; "" when there is none or it cannot be read.
std::string readValidationString(std::string dir);

// True when the stamp file in "dir" can be read and its first line equals
// "stamp" byte for byte. Always false for an empty "dir" or "stamp".
bool isCacheValid(std::string dir, std::string stamp);

// Stores "stamp" in "dir", replacing any earlier one. Does nothing for an
// empty "dir" or "stamp", or when the file cannot be written.
void writeValidationString(std::string dir, std::string stamp);

#endif  // AGENT_VALIDATION_STAMP_H_
