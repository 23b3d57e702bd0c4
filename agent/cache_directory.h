#ifndef AGENT_CACHE_DIRECTORY_H_
#define AGENT_CACHE_DIRECTORY_H_

#include <string>

// Whether the cache directory "cacheDir" (as getInstallAgentCacheDir gives
// it) may be used: it and every directory above it up to ".vorpex" must be
// real directories, not links, that the user owns and that no one else may
// write, so that no other user can have placed or can change what the cache
// holds. With "create", missing directories are made first (mode 0700),
// HOME among them. False when the cache cannot be used, with "error" set to
// why on one line.
bool checkCacheDirectory(const std::string& cacheDir, bool create,
                         std::string* error);

#endif  // AGENT_CACHE_DIRECTORY_H_
