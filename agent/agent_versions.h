#ifndef AGENT_AGENT_VERSIONS_H_
#define AGENT_AGENT_VERSIONS_H_

#include <string>

// The agents in a cache directory: each one unpacked into a directory
// "installagent.XXXXXX" of its own that is never changed once it is current,
// and "installagent" a link to the current one, so that a running agent keeps
// its files while a newer one replaces it. Call every function with the cache
// locked (CacheLock); "cacheDir" ends with the separator.

// The current agent's directory, ending with the separator, when
// "installagent" is a link to a directory beside it that the user owns, no
// one else may write, and that holds a launcher; "" otherwise (also for a
// plain directory or file left there).
std::string currentAgentDir(const std::string& cacheDir);

// Makes "agentDir", a directory in "cacheDir", the current one in one step:
// a new link made beside "installagent" is renamed over it. What stood
// there before is replaced; a directory left by an older layout is removed
// first. False, with "error" set to why on one line, when that failed.
bool makeCurrentAgentDir(const std::string& cacheDir,
                         const std::string& agentDir, std::string* error);

// Whether "cacheDir" can hold the link that would make "agentDir", a
// directory in it, the current one (a file system without symbolic links
// cannot): makes that link aside and removes it again. False when it could
// not be made, with "error" set to why on one line, as makeCurrentAgentDir
// says it.
bool checkAgentLink(const std::string& cacheDir, const std::string& agentDir,
                    std::string* error);

// Removes what killed or finished runs left in "cacheDir": every agent
// directory but the current one that no run or agent holds (AgentDirLock),
// and stray links, and stamp and record files being written.
void removeLeftovers(const std::string& cacheDir);

#endif  // AGENT_AGENT_VERSIONS_H_
