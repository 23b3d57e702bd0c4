#ifndef AGENT_SIGNED_RELEASE_H_
#define AGENT_SIGNED_RELEASE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "agent/agent_signature.h"
#include "agent/signed_metadata.h"

// What a valid signature vouched for, and what a bundle with a key demands
// of it beyond the signature: not past its expiry, for this release and
// platform, and not older than the bundle's floor. The cache adds that it is
// not older than the release it accepted last (accepted_release.h).

using ArchiveDigest = std::array<std::uint8_t, 64>;  // BLAKE2b-512

struct SignedRelease {
  KeyId keyId{};            // the key that made the signature
  ArchiveDigest digest{};   // the archive's
  SignedMetadata metadata;  // from the signed trusted comment
};

// A clock that is a few minutes off does not make a release stale early,
// nor keep a stale one for long.
constexpr std::int64_t kExpirySkew = 10 * 60;

// The unix time that releases are judged by: the system's clock, for tests
// moved ahead by the seconds setReleaseClockAhead was given.
std::int64_t releaseClock();
// Set once, by the driver, before anything is judged: only a number of
// seconds above 0 counts (never back, so that it can only make releases
// stale, never fresh again).
void setReleaseClockAhead(std::int64_t seconds);

// True when "expires" is given and "now" is more than kExpirySkew past it.
bool hasExpired(const std::optional<std::int64_t>& expires, std::int64_t now);

// "2026-12-09 00:00:00 UTC".
std::string formatUnixTime(std::int64_t time);

// True when "metadata" may be installed at "now": it has not expired, names
// this build's release and platform or none, and, with a "floor" (unix
// time), has a timestamp not below it. Otherwise false with a one-line
// reason in "*error".
bool checkSignedRelease(const SignedMetadata& metadata,
                        const std::optional<std::int64_t>& floor,
                        std::int64_t now, std::string* error);

#endif  // AGENT_SIGNED_RELEASE_H_
