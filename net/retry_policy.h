#ifndef NET_RETRY_POLICY_H_
#define NET_RETRY_POLICY_H_

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net/web_download.h"

namespace net {

// How a download retries: which failures another attempt may mend, how long
// it waits first, and what it tells the user meanwhile.

// A transient failure is retried while the attempts and the pauses so far,
// with the next pause, take no longer than this; a short outage or a busy
// minute is survived, and the download still ends.
constexpr double kRetryBudgetSeconds = 120.0;
// A server that asks for a longer pause than this is not waited for.
constexpr double kLongestRetryAfter = 60.0;

// Connection refused or reset, a failed name lookup, a time-out, a body cut
// short, and HTTP 408, 429, 500, 502, 503, 504. Not: other statuses, TLS
// and certificate failures, refused redirects, bad URLs, local file errors.
bool isTransient(const platform::DownloadError& error);

// The pause before retry "retry" (1 for the first): 1, 2, 4, 8, 16, then 20
// seconds, each stretched by a factor of 0.5 to 1.5 that "draw", from
// [0, 1), picks, so that runs failing together do not come back together.
// After a Retry-After of "asked" seconds, that many with a spread of 0 to
// 1, 2, 4 ... 20 seconds on top.
double backoffSeconds(int retry, double draw,
                      std::optional<double> asked = std::nullopt);

// A Retry-After value in seconds from "now": delay-seconds, or an HTTP-date
// in any of its three forms (one in the past gives 0). nullopt for anything
// else.
std::optional<double> parseRetryAfter(std::string_view value, std::time_t now);

// What to do after attempt "attempt" failed with "error", "spent" seconds
// into the download (its attempts and the pauses between, unscaled).
struct RetryPlan {
  std::optional<double> wait;  // seconds before the next attempt; none: give up
  std::string reason;          // for the wait: short, e.g. "Connection lost"
  std::string giveUpNote;      // for giving up: why, when the error alone
                               // does not say (may be empty)
};
RetryPlan planRetry(const platform::DownloadError& error, int attempt,
                    double spent, double draw, std::time_t now);

}  // namespace net

#endif  // NET_RETRY_POLICY_H_
