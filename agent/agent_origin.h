#ifndef AGENT_AGENT_ORIGIN_H_
#define AGENT_AGENT_ORIGIN_H_

#include <string>

// Which URL a cached agent's archive was downloaded from, in
// ".downloadedfrom" inside the agent's own directory: an ETag is one
// server's name for a version, so the stamp is offered only to the URL it
// came from. A record is trusted only as a private file (private_file.h).
// "agentDir" ends with the separator.

// Records "url" for the agent in "agentDir". Call before the directory
// becomes current, with the cache locked. False, with the system's reason
// in "*error", when it could not be written.
bool recordAgentOrigin(const std::string& agentDir, const std::string& url,
                       std::string* error);

// True when the agent in "agentDir" is recorded as downloaded from "url".
bool cameFrom(const std::string& agentDir, const std::string& url);

#endif  // AGENT_AGENT_ORIGIN_H_
