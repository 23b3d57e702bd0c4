#ifndef AGENT_SMALL_FILE_H_
#define AGENT_SMALL_FILE_H_

#include <cstddef>
#include <string>

// Reads the whole file at "path" into "*text" when it holds at most
// "maxSize" bytes; a larger one is not read beyond that. False otherwise,
// with a one-line reason in "*error" ("No such file or directory.", "The file
// is larger than 4096 bytes.").
bool readSmallFile(const std::string& path, std::size_t maxSize,
                   std::string* text, std::string* error);

// True when nothing at all is at "path". A dangling link is something: a
// file that cannot be read, not one left out.
bool isAbsentFile(const std::string& path);

#endif  // AGENT_SMALL_FILE_H_
