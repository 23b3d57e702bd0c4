#ifndef AGENT_VERIFYING_KEY_H_
#define AGENT_VERIFYING_KEY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_signature.h"
#include "agent/signed_release.h"

// Which key verified a cached agent's archive: its key id, as minisign shows
// it (16 hex digits), in ".verifiedkey" inside the agent's own directory, so
// that the record goes wherever the agent goes, and on a second line
// "expires:<unix time>" when its signature set an expiry. An agent without
// one was not verified. A record is trusted only as a plain file of the
// user's that no one else may write (private_file.h). "agentDir" ends with
// the separator.

// Records that "release"'s key verified the agent in "agentDir", with the
// expiry it set, or, for nullopt, that nothing did: a file of that name the
// archive brought is replaced or removed. Call before the directory becomes
// current, with the cache locked. False when the record could not be
// written or removed, with the system's reason in "*error".
bool recordVerifyingKey(const std::string& agentDir,
                        const std::optional<SignedRelease>& release,
                        std::string* error);

// True when "trustedKeys" is nullopt (a bundle without a key trusts every
// cached agent), or when the agent in "agentDir" is recorded as verified
// with one of them and its expiry, if any, has not passed at "now"
// (hasExpired): a stale agent is not started, but fetched anew.
bool isVerifiedWith(const std::string& agentDir,
                    const std::optional<std::vector<KeyId>>& trustedKeys,
                    std::int64_t now);

#endif  // AGENT_VERIFYING_KEY_H_
