#include "agent/signed_release.h"

#include <ctime>

#include "base/constants.h"

namespace {
std::int64_t clockAhead = 0;
}  // namespace

std::int64_t releaseClock() { return std::time(nullptr) + clockAhead; }

void setReleaseClockAhead(std::int64_t seconds) {
  clockAhead = seconds > 0 ? seconds : 0;
}

bool hasExpired(const std::optional<std::int64_t>& expires, std::int64_t now) {
  return expires && now - kExpirySkew > *expires;
}

std::string formatUnixTime(std::int64_t time) {
  const std::time_t seconds = static_cast<std::time_t>(time);
  std::tm parts{};
  char text[64];
  if (gmtime_r(&seconds, &parts) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0) {
    return std::to_string(time);
  }
  return text;
}

bool checkSignedRelease(const SignedMetadata& metadata,
                        const std::optional<std::int64_t>& floor,
                        std::int64_t now, std::string* error) {
  if (hasExpired(metadata.expires, now)) {
    *error = "The installer on the server expired at " +
             formatUnixTime(*metadata.expires) + ".";
    return false;
  }
  const std::string thisAgent = releaseTag + "/" + platformTag;
  if (metadata.agent && *metadata.agent != thisAgent) {
    *error = "The installer on the server is for " + *metadata.agent +
             ", not " + thisAgent + ".";
    return false;
  }
  if (floor && (!metadata.timestamp || *metadata.timestamp < *floor)) {
    *error =
        "The installer on the server is older than this bundle allows: "
        "signed at " +
        (metadata.timestamp ? formatUnixTime(*metadata.timestamp)
                            : std::string("no time")) +
        ", the oldest allowed at " + formatUnixTime(*floor) + ".";
    return false;
  }
  return true;
}
