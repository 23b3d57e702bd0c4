#include "net/retry_policy.h"

#include <gtest/gtest.h>

namespace net {
namespace {

platform::DownloadError httpError(long status, const std::string& retryAfter = "") {
  platform::URLResponse response;
  response.statusCode = status;
  if (!retryAfter.empty()) response.headerFields = {{"Retry-After", retryAfter}};
  return {"HTTP " + std::to_string(status), std::nullopt,
          platform::DownloadFailure::kHttpStatus, response};
}

platform::DownloadError fault(platform::DownloadFailure failure) {
  return {"fault", std::nullopt, failure};
}

TEST(RetryPolicyTest, OnlyTransientFailuresAreRetried) {
  for (long status : {408, 429, 500, 502, 503, 504}) {
    EXPECT_TRUE(isTransient(httpError(status))) << status;
  }
  for (long status : {400, 401, 403, 404, 410, 416, 501, 505}) {
    EXPECT_FALSE(isTransient(httpError(status))) << status;
  }
  EXPECT_TRUE(isTransient(fault(platform::DownloadFailure::kCannotConnect)));
  EXPECT_TRUE(isTransient(fault(platform::DownloadFailure::kConnectionLost)));
  EXPECT_TRUE(isTransient(fault(platform::DownloadFailure::kTimedOut)));
  EXPECT_FALSE(isTransient(fault(platform::DownloadFailure::kOther)));
  // A status failure without its answer cannot be judged.
  EXPECT_FALSE(isTransient(fault(platform::DownloadFailure::kHttpStatus)));
}

TEST(RetryPolicyTest, BackoffDoublesToACapAndSpreadsAfterRetryAfter) {
  EXPECT_EQ(1.0, backoffSeconds(1, 0.5));
  EXPECT_EQ(8.0, backoffSeconds(4, 0.5));
  EXPECT_EQ(20.0, backoffSeconds(9, 0.5));
  EXPECT_EQ(0.5, backoffSeconds(1, 0.0));
  EXPECT_NEAR(30.0, backoffSeconds(100, 0.9999), 0.01);
  // Retry-After is the least, with up to the backoff's base on top.
  EXPECT_EQ(2.0, backoffSeconds(1, 0.0, 2.0));
  EXPECT_EQ(2.5, backoffSeconds(1, 0.5, 2.0));
  EXPECT_NEAR(10.0, backoffSeconds(4, 0.9999, 2.0), 0.01);
}

TEST(RetryPolicyTest, RetryAfterInSecondsOrAsAnHttpDate) {
  const std::time_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(2.0, parseRetryAfter("2", now));
  EXPECT_EQ(120.0, parseRetryAfter(" 120 ", now));
  EXPECT_EQ(30.0, parseRetryAfter("Sun, 06 Nov 1994 08:50:07 GMT", now));
  EXPECT_EQ(30.0, parseRetryAfter("Sunday, 06-Nov-94 08:50:07 GMT", now));
  EXPECT_EQ(30.0, parseRetryAfter("Sun Nov  6 08:50:07 1994", now));
  EXPECT_EQ(0.0, parseRetryAfter("Sat, 05 Nov 1994 08:49:37 GMT", now));
  EXPECT_EQ(1e9, parseRetryAfter("99999999999999999999", now));
  for (const char* bad : {"", " ", "-1", "1.5", "soon", "2 s",
                          "Sun, 06 Nov 1994 08:50:07", "Sun, 06 Nov 1994"}) {
    EXPECT_EQ(std::nullopt, parseRetryAfter(bad, now)) << bad;
  }
}

TEST(RetryPolicyTest, PlansTheWaitOrGivesUp) {
  using platform::DownloadFailure;
  RetryPlan lost = planRetry(fault(DownloadFailure::kConnectionLost), 3, 0, 0.5, 0);
  EXPECT_EQ(4.0, lost.wait);
  EXPECT_EQ("Connection lost", lost.reason);

  // Retry-After up to a minute is waited for, with a spread; beyond, it is
  // final.
  RetryPlan busy = planRetry(httpError(503, "2"), 1, 0, 0.5, 0);
  EXPECT_EQ(2.5, busy.wait);
  EXPECT_EQ("The server is busy (HTTP 503)", busy.reason);
  EXPECT_EQ(60.0, planRetry(httpError(429, "60"), 1, 0, 0.0, 0).wait);
  RetryPlan tooLong = planRetry(httpError(503, "61"), 1, 0, 0.5, 0);
  EXPECT_EQ(std::nullopt, tooLong.wait);
  EXPECT_EQ("The server asked to retry in 61 s, longer than 60 s.",
            tooLong.giveUpNote);
  // A bad Retry-After is ignored.
  EXPECT_EQ(2.0, planRetry(httpError(503, "later"), 2, 0, 0.5, 0).wait);

  EXPECT_EQ(std::nullopt, planRetry(httpError(404), 1, 0, 0.5, 0).wait);
  EXPECT_EQ(0.0, planRetry(fault(DownloadFailure::kRangeMismatch), 2, 0, 0.5, 0)
                     .wait);
  // Retried only while the next pause ends within the budget.
  EXPECT_EQ(20.0, planRetry(fault(DownloadFailure::kTimedOut), 9,
                            kRetryBudgetSeconds - 20, 0.5, 0).wait);
  EXPECT_EQ(std::nullopt, planRetry(fault(DownloadFailure::kTimedOut), 9,
                                    kRetryBudgetSeconds - 19.9, 0.5, 0).wait);
}

}  // namespace
}  // namespace net
