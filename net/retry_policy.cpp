#include "net/retry_policy.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace net {
namespace {

constexpr double kFirstBackoff = 1.0;
// With the spread, pauses reach 30 s at most.
constexpr double kLongestBackoff = 20.0;

bool isTransientStatus(long status) {
  switch (status) {
    case 408: case 429: case 500: case 502: case 503: case 504:
      return true;
    default:
      return false;
  }
}

std::string_view trimmed(std::string_view text) {
  const char* blanks = " \t";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<std::time_t> parseHttpDate(const std::string& text) {
  // IMF-fixdate first; the obsolete RFC 850 and asctime forms are still
  // to be accepted. strptime reads the names in the C locale, which this
  // program never changes.
  for (const char* format : {"%a, %d %b %Y %H:%M:%S GMT",
                             "%A, %d-%b-%y %H:%M:%S GMT",
                             "%a %b %e %H:%M:%S %Y"}) {
    struct tm fields {};
    const char* end = strptime(text.c_str(), format, &fields);
    if (end != nullptr && *end == '\0') return timegm(&fields);
  }
  return std::nullopt;
}

std::string reasonFor(const platform::DownloadError& error) {
  switch (error.failure) {
    case platform::DownloadFailure::kCannotConnect:
      return "Cannot reach the server";
    case platform::DownloadFailure::kTimedOut:
      return "The server does not answer";
    case platform::DownloadFailure::kHttpStatus:
      return "The server is busy (HTTP " +
             std::to_string(error.response ? error.response->statusCode : 0) +
             ")";
    default:
      return "Connection lost";
  }
}

std::string wholeSeconds(double seconds) {
  return std::to_string(static_cast<long long>(std::ceil(seconds)));
}

}  // namespace

bool isTransient(const platform::DownloadError& error) {
  switch (error.failure) {
    case platform::DownloadFailure::kCannotConnect:
    case platform::DownloadFailure::kConnectionLost:
    case platform::DownloadFailure::kTimedOut:
    case platform::DownloadFailure::kRangeMismatch:
      return true;
    case platform::DownloadFailure::kHttpStatus:
      return error.response && isTransientStatus(error.response->statusCode);
    case platform::DownloadFailure::kOther:
      break;
  }
  return false;
}

double backoffSeconds(int retry, double draw, std::optional<double> asked) {
  double base =
      std::min(kLongestBackoff, std::ldexp(kFirstBackoff, std::min(retry, 30) - 1));
  // The server's pause is the least; a crowd it sent away spreads over
  // the time after it.
  return asked ? *asked + base * draw : base * (0.5 + draw);
}

std::optional<double> parseRetryAfter(std::string_view value,
                                      std::time_t now) {
  std::string text(trimmed(value));
  if (text.empty()) return std::nullopt;
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    // Digits only; a huge number is just a long wait.
    return text.size() > 9 ? 1e9 : std::strtod(text.c_str(), nullptr);
  }
  std::optional<std::time_t> date = parseHttpDate(text);
  if (!date) return std::nullopt;
  return *date > now ? std::difftime(*date, now) : 0.0;
}

RetryPlan planRetry(const platform::DownloadError& error, int attempt,
                    double spent, double draw, std::time_t now) {
  RetryPlan plan;
  if (!isTransient(error) || spent >= kRetryBudgetSeconds) return plan;
  plan.reason = reasonFor(error);
  // A range that did not fit costs an attempt but no pause: the next one
  // simply asks for the whole body.
  if (error.failure == platform::DownloadFailure::kRangeMismatch) {
    plan.wait = 0.0;
    return plan;
  }
  std::optional<double> asked;
  if (error.response) {
    if (auto value = error.response->valueForHeaderField("Retry-After")) {
      asked = parseRetryAfter(*value, now);
    }
  }
  if (asked && *asked > kLongestRetryAfter) {
    plan.giveUpNote = "The server asked to retry in " + wholeSeconds(*asked) +
                      " s, longer than " + wholeSeconds(kLongestRetryAfter) +
                      " s.";
    return plan;
  }
  double wait = backoffSeconds(attempt, draw, asked);
  if (spent + wait <= kRetryBudgetSeconds) plan.wait = wait;
  return plan;
}

}  // namespace net
