#include "net/retrying_web_download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/fake_event_loop.h"
#include "testing/fake_web_download.h"

namespace net {
namespace {

using Events = std::vector<std::string>;

// Records what the download's delegate hears, with the fake clock's time
// for the pauses.
class Recorder : public platform::WebDownloadDelegate {
 public:
  void downloadDidReceiveResponse(platform::WebDownload*, const platform::URLResponse& r) override {
    events.push_back("response " + std::to_string(r.statusCode));
  }
  void downloadDidReceiveDataOfLength(platform::WebDownload*, std::uint64_t n) override {
    events.push_back("data " + std::to_string(n));
  }
  void downloadDidFinish(platform::WebDownload*) override { events.push_back("finish"); }
  void downloadDidFailWithError(platform::WebDownload*, const platform::DownloadError& e) override {
    events.push_back("failure " + e.localizedDescription);
  }
  void downloadWillRetry(platform::WebDownload*, const platform::RetryNotice& notice) override {
    events.push_back(notice.reason + " " + std::to_string(notice.seconds));
  }
  Events events;
};

platform::URLResponse whole(const std::string& etag) {
  return {200, "u", 1000, {{"ETag", etag}, {"Accept-Ranges", "bytes"}}};
}

platform::URLResponse rest(const std::string& range) {
  return {206, "u", 0, {{"Content-Range", range}}};
}

const platform::DownloadError kLost{"cut", std::nullopt,
                          platform::DownloadFailure::kConnectionLost};

class RetryingWebDownloadTest : public ::testing::Test {
 protected:
  // Attempts are scripted; the spread's draw is the middle, so pauses are
  // exactly 1, 2, 4, 8, 16 and then 20 seconds.
  std::unique_ptr<platform::WebDownload> start(
      std::optional<platform::ResumePoint> resumeFrom = std::nullopt) {
    platform::URLRequest request;
    request.url = "u";
    request.resumeFrom = resumeFrom;
    return factory_.startDownload(request, &recorder, loop);
  }
  platform::FakeDownloadRecord& attempt(std::size_t n) { return *attempts.started.at(n); }
  // Attempt "n" answers "response", sends "bytes", and is cut.
  void cut(std::size_t n, const platform::URLResponse& response, std::uint64_t bytes) {
    attempt(n).respond(response);
    attempt(n).receive(bytes);
    attempt(n).fail(kLost);
  }

  platform::FakeEventLoop loop;
  platform::FakeWebDownloadFactory attempts;
  Recorder recorder;

 private:
  RetryingWebDownloadFactory factory_{attempts, 1.0, [] { return 0.5; }};
};

TEST_F(RetryingWebDownloadTest, ACutBodyResumesWithoutANewResponse) {
  std::unique_ptr<platform::WebDownload> download = start();
  cut(0, whole("\"v1\""), 400);
  loop.advance(0.9);
  EXPECT_EQ(1u, attempts.started.size());  // still pausing
  loop.advance(0.1);

  // The second attempt asks for the rest of the same entity and gets it.
  ASSERT_EQ(2u, attempts.started.size());
  ASSERT_TRUE(attempt(1).request.resumeFrom);
  EXPECT_EQ(400, attempt(1).request.resumeFrom->offset);
  EXPECT_EQ("\"v1\"", attempt(1).request.resumeFrom->etag);
  EXPECT_TRUE(attempt(1).allowOverwrite);
  EXPECT_FALSE(attempt(1).deletesFileUponFailure);
  cut(1, rest("bytes 400-999/1000"), 300);
  loop.advance(2.0);
  EXPECT_EQ(700, attempt(2).request.resumeFrom->offset);
  attempt(2).respond(rest("bytes 700-999/1000"));
  attempt(2).receive(300);
  attempt(2).finish();

  EXPECT_EQ(Events({"response 200", "data 400", "Connection lost 1.000000",
                    "data 300", "Connection lost 2.000000", "data 300",
                    "finish"}),
            recorder.events);
}

TEST_F(RetryingWebDownloadTest, TheRequestsOwnRangeIsHeardAndResumedWhole) {
  // A body an earlier run began: its 206 is the response, and a cut after
  // it resumes from the file's end.
  std::unique_ptr<platform::WebDownload> download =
      start(platform::ResumePoint{600, "\"v1\"", 1000});
  EXPECT_EQ(600, attempt(0).request.resumeFrom->offset);
  platform::URLResponse continued = rest("bytes 600-999/1000");
  continued.expectedContentLength = 400;
  continued.headerFields.push_back({"ETag", "\"v1\""});
  continued.headerFields.push_back({"Accept-Ranges", "bytes"});
  cut(0, continued, 100);
  loop.advance(1.0);
  ASSERT_TRUE(attempt(1).request.resumeFrom);
  EXPECT_EQ(700, attempt(1).request.resumeFrom->offset);
  EXPECT_EQ(1000, attempt(1).request.resumeFrom->totalLength);
  EXPECT_EQ(Events({"response 206", "data 100", "Connection lost 1.000000"}),
            recorder.events);
}

TEST_F(RetryingWebDownloadTest, AWholeBodyOrAChangedEntityStartsOver) {
  std::unique_ptr<platform::WebDownload> download = start();
  cut(0, whole("\"v1\""), 400);
  loop.advance(1.0);
  // If-Range did not match: the whole new entity comes as a new response,
  // and its own ETag is what a further resume asks for.
  cut(1, whole("\"v2\""), 100);
  loop.advance(2.0);
  EXPECT_EQ(100, attempt(2).request.resumeFrom->offset);
  EXPECT_EQ("\"v2\"", attempt(2).request.resumeFrom->etag);

  // A range that did not fit: at once, the whole body again.
  attempt(2).fail({"range", std::nullopt, platform::DownloadFailure::kRangeMismatch});
  loop.advance(0.0);
  ASSERT_EQ(4u, attempts.started.size());
  EXPECT_FALSE(attempt(3).request.resumeFrom);
  attempt(3).respond(whole("\"v2\""));
  EXPECT_EQ(Events({"response 200", "data 400", "Connection lost 1.000000",
                    "response 200", "data 100", "Connection lost 2.000000",
                    "response 200"}),
            recorder.events);
}

TEST_F(RetryingWebDownloadTest, GivesUpAfterTwoMinutesOrAtOnceWhenFinal) {
  // Failing at once: pauses of 1, 2, 4, 8, 16 and 20 s until the next would
  // end past the budget.
  std::unique_ptr<platform::WebDownload> download = start();
  for (std::size_t n = 0; n < 10; ++n) {
    attempt(n).fail(
        {"refused", std::nullopt, platform::DownloadFailure::kCannotConnect});
    loop.run(nullptr);  // to the next attempt
  }
  EXPECT_EQ(10u, attempts.started.size());
  EXPECT_EQ(1 + 2 + 4 + 8 + 16 + 4 * 20, loop.now());
  EXPECT_EQ("failure refused (after 10 attempts)", recorder.events.back());

  // The attempts' own time counts: two that time out after a minute each.
  recorder.events.clear();
  attempts.started.clear();
  download = start();
  const platform::DownloadError silent{"silent", std::nullopt,
                                       platform::DownloadFailure::kTimedOut};
  loop.advance(60);
  attempt(0).fail(silent);
  loop.advance(61);
  attempt(1).fail(silent);
  EXPECT_EQ(2u, attempts.started.size());
  EXPECT_EQ("failure silent (after 2 attempts)", recorder.events.back());

  // Not found is final; so is a Retry-After beyond a minute.
  for (std::string retryAfter : {"", "3600"}) {
    recorder.events.clear();
    attempts.started.clear();
    download = start();
    platform::URLResponse answer{retryAfter.empty() ? 404 : 503, "u", -1, {}};
    if (!retryAfter.empty()) answer.headerFields = {{"Retry-After", retryAfter}};
    attempt(0).fail({"status", "u", platform::DownloadFailure::kHttpStatus, answer});
    EXPECT_EQ(1u, recorder.events.size());
    EXPECT_EQ(retryAfter.empty() ? "failure status"
                                 : "failure status The server asked to retry "
                                   "in 3600 s, longer than 60 s.",
              recorder.events.back());
  }
}

TEST_F(RetryingWebDownloadTest, CancelDuringThePauseEndsEverything) {
  std::unique_ptr<platform::WebDownload> download = start();
  platform::URLResponse busy{503, "u", -1, {{"Retry-After", "30"}}};
  attempt(0).fail({"busy", "u", platform::DownloadFailure::kHttpStatus, busy});
  EXPECT_EQ("The server is busy (HTTP 503) 30.500000", recorder.events.back());
  download->cancel();
  loop.advance(100);
  EXPECT_EQ(1u, attempts.started.size());
  EXPECT_EQ(1u, recorder.events.size());
}

}  // namespace
}  // namespace net
