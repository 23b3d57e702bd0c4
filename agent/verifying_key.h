#ifndef AGENT_VERIFYING_KEY_H_
#define AGENT_VERIFYING_KEY_H_

#include <optional>
#include <string>

#include "agent/agent_signature.h"

// Which key verified a cached agent's archive: its key id, as minisign shows
// it (16 hex digits), in ".verifiedkey" inside the agent's own directory, so
// that the record goes wherever the agent goes. An agent without one was
// not verified. A record is trusted only as a plain file of the user's that
// no one else may write (private_file.h). "agentDir" ends with the
// separator.

// Records that "keyId" verified the agent in "agentDir", or, for nullopt,
// that nothing did: a file of that name the archive brought is replaced or
// removed. Call before the directory becomes current, with the cache
// locked. False when the record could not be written or removed, with the
// system's reason in "*error".
bool recordVerifyingKey(const std::string& agentDir,
                        const std::optional<KeyId>& keyId, std::string* error);

// True when "requiredKey" is nullopt (a bundle without a key trusts every
// cached agent), or when the agent in "agentDir" is recorded as verified
// with it.
bool isVerifiedWith(const std::string& agentDir,
                    const std::optional<KeyId>& requiredKey);

#endif  // AGENT_VERIFYING_KEY_H_
