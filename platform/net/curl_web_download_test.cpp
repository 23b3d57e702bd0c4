#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/loop/event_loop.h"
#include "platform/net/web_download.h"
#include "testing/test_env.h"
#include "testing/https_test_server.h"

namespace platform {
namespace {

using testing_env::readFile;
using testing_env::ScratchDirectory;
using testing_env::writeFile;
using test_support::TestHttpsServer;

// Records one download's callbacks (a run of data callbacks as one "data")
// and stops the loop when the download ends. The hooks run after recording.
class Recorder : public WebDownloadDelegate {
 public:
  explicit Recorder(EventLoop& loop) : loop_(loop) {}

  void downloadDidReceiveResponse(WebDownload*,
                                  const URLResponse& received) override {
    events.push_back("response");
    response = received;
    if (onResponse) onResponse();
  }
  void downloadDidReceiveDataOfLength(WebDownload*,
                                      std::uint64_t length) override {
    if (events.empty() || events.back() != "data") events.push_back("data");
    bytes += length;
    if (onData) onData();
  }
  void downloadDidFinish(WebDownload*) override {
    events.push_back("finish");
    loop_.stop();
  }
  void downloadDidFailWithError(WebDownload*,
                                const DownloadError& failure) override {
    events.push_back("failure");
    error = failure;
    loop_.stop();
  }

  std::vector<std::string> events;
  std::optional<URLResponse> response;
  std::optional<DownloadError> error;
  std::uint64_t bytes = 0;
  std::function<void()> onResponse;
  std::function<void()> onData;

 private:
  EventLoop& loop_;
};

using Events = std::vector<std::string>;

class CurlWebDownloadTest : public ::testing::Test {
 protected:
  CurlWebDownloadTest() : loop_(NewPollEventLoop()) {
    std::mt19937 random(42);
    body_.resize(3 * 1024 * 1024 + 17);
    for (char& byte : body_) byte = static_cast<char>(random());
    writeFile(source(), body_);
  }

  // Starts the server with "control" and trusts its CA.
  TestHttpsServer& startServer(const std::string& control = "{}") {
    std::string serverDir = makeDir("server");
    writeFile(serverDir + "/control.json", control);
    server_.emplace(source(), serverDir);
    EXPECT_TRUE(server_->started());
    trustedCAFile_ = server_->caFile();
    return *server_;
  }

  std::string makeDir(const std::string& name) {
    mkdir((dir_ / name).c_str(), 0700);
    return dir_ / name;
  }

  // Starts downloading "url" to destination(), deleting the file on failure.
  std::unique_ptr<WebDownload> start(const std::string& url, Recorder& recorder,
                                     double timeout = 60,
                                     HeaderFields fields = {},
                                     std::optional<ResumePoint> resumeFrom = {},
                                     std::shared_ptr<BodyLimit> limit = {}) {
    URLRequest request;
    request.url = url;
    request.timeoutInterval = timeout;
    request.headerFields = std::move(fields);
    request.resumeFrom = resumeFrom;
    request.bodyLimit = std::move(limit);
    request.connection.trustedCAFile = trustedCAFile_;
    std::unique_ptr<WebDownload> download =
        WebDownloadFactory::Real().startDownload(request, &recorder, *loop_);
    download->setDeletesFileUponFailure(true);
    download->setDestination(destination(), true);
    return download;
  }

  // Runs the loop until something stops it or "seconds" pass; false when
  // the time ran out.
  bool runFor(double seconds) {
    bool ranOut = false;
    EventLoop::TimerId limit = loop_->performAfterDelay(seconds, [&] {
      ranOut = true;
      loop_->stop();
    });
    loop_->run(nullptr);
    loop_->cancelDelayed(limit);
    return !ranOut;
  }

  // Downloads "url" to its end.
  Recorder download(const std::string& url, HeaderFields fields = {}) {
    Recorder recorder(*loop_);
    std::unique_ptr<WebDownload> download =
        start(url, recorder, 60, std::move(fields));
    EXPECT_TRUE(runFor(10));
    return recorder;
  }

  std::string source() const { return dir_ / "agent.zip"; }
  std::string destination() const { return dir_ / "downloaded.zip"; }

  ScratchDirectory dir_;
  std::string body_;
  std::unique_ptr<EventLoop> loop_;
  std::optional<TestHttpsServer> server_;
  std::string trustedCAFile_;  // what each request trusts
};

TEST_F(CurlWebDownloadTest, DeliversTheBodyAfterItsResponse) {
  // Given a server with an ETag, the body arrives byte for byte after one
  // response that carries the status, the ETag and the length.
  TestHttpsServer& server = startServer(R"({"etag": "\"v1\""})");
  Recorder recorder = download(server.url());

  EXPECT_EQ(Events({"response", "data", "finish"}), recorder.events);
  ASSERT_TRUE(recorder.response);
  EXPECT_EQ(200, recorder.response->statusCode);
  EXPECT_EQ(server.url(), recorder.response->url);
  EXPECT_EQ("\"v1\"", recorder.response->valueForHeaderField("eTaG"));
  EXPECT_EQ(static_cast<std::int64_t>(body_.size()),
            recorder.response->expectedContentLength);
  EXPECT_EQ(body_.size(), recorder.bytes);
  EXPECT_TRUE(readFile(destination()) == body_);
}

TEST_F(CurlWebDownloadTest, ErrorStatusesFailBeforeAnyResponse) {
  // Given a server answering 404, then 500, each download fails without a
  // response, and no file is made even when failed files are kept.
  TestHttpsServer& server = startServer();
  for (int status : {404, 500}) {
    server.setControl("{\"status\": " + std::to_string(status) + "}");
    Recorder recorder(*loop_);
    std::unique_ptr<WebDownload> download = start(server.url(), recorder);
    download->setDeletesFileUponFailure(false);
    ASSERT_TRUE(runFor(10));

    EXPECT_EQ(Events({"failure"}), recorder.events);
    EXPECT_EQ("The server answered with HTTP status " +
                  std::to_string(status) + ".",
              recorder.error->localizedDescription);
    EXPECT_EQ(server.url(), recorder.error->failingURLString);
    EXPECT_FALSE(testing_env::exists(destination()));
  }
}

TEST_F(CurlWebDownloadTest, UntrustedCertificateFails) {
  // Given a trusted CA that did not sign the server's certificate, the
  // download fails before any response, and says whose certificate it was.
  TestHttpsServer& server = startServer();
  std::string otherCa = makeDir("other");
  ASSERT_TRUE(test_support::makeOtherCa(otherCa));
  trustedCAFile_ = otherCa + "/ca.pem";

  Recorder recorder = download(server.url());
  EXPECT_EQ(Events({"failure"}), recorder.events);
  // The server's CA ("Test CA" and 16 hex digits) is named as the
  // certificate names it.
  const std::string& text = recorder.error->localizedDescription;
  const std::string issuedBy = "The server's certificate was issued by 'Test CA ";
  const std::string rest =
      "', which this computer does not trust. It names '127.0.0.1'.";
  EXPECT_EQ(issuedBy.size() + 16 + rest.size(), text.size()) << text;
  EXPECT_EQ(0u, text.rfind(issuedBy, 0)) << text;
  EXPECT_EQ(text.size() - rest.size(), text.find(rest)) << text;
  EXPECT_FALSE(testing_env::exists(destination()));
}

TEST_F(CurlWebDownloadTest, CutConnectionFailsAndLeavesNoFile) {
  TestHttpsServer& server = startServer(R"({"cut_after": 1000000})");
  Recorder recorder = download(server.url());
  EXPECT_EQ(Events({"response", "data", "failure"}), recorder.events);
  EXPECT_FALSE(recorder.error->localizedDescription.empty());
  EXPECT_FALSE(testing_env::exists(destination()));
}

TEST_F(CurlWebDownloadTest, ResumesWhereTheFileStopsWhileTheETagHolds) {
  // Given the first 1000 bytes in the file, a request to resume under the
  // server's ETag appends the rest; under another ETag the whole body
  // replaces the file; past the end nothing is written and it fails.
  TestHttpsServer& server = startServer(R"({"etag": "\"v1\""})");
  const std::int64_t size = static_cast<std::int64_t>(body_.size());
  struct Case {
    std::string etag;
    std::int64_t offset;
    long status;
  };
  for (const Case& c : {Case{"\"v1\"", 1000, 206}, Case{"\"v0\"", 1000, 200},
                        Case{"\"v1\"", size, 0}}) {
    SCOPED_TRACE(c.status);
    writeFile(destination(), body_.substr(0, 1000) + "beyond");
    Recorder recorder(*loop_);
    std::unique_ptr<WebDownload> download =
        start(server.url(), recorder, 60, {}, ResumePoint{c.offset, c.etag, size});
    download->setDeletesFileUponFailure(false);
    ASSERT_TRUE(runFor(10));
    if (c.status == 0) {
      EXPECT_EQ(Events({"failure"}), recorder.events);
      EXPECT_EQ(DownloadFailure::kRangeMismatch, recorder.error->failure);
      EXPECT_EQ(body_.substr(0, 1000) + "beyond", readFile(destination()));
      continue;
    }
    EXPECT_EQ(Events({"response", "data", "finish"}), recorder.events);
    EXPECT_EQ(c.status, recorder.response->statusCode);
    EXPECT_TRUE(readFile(destination()) == body_);
  }
}

// Refuses lengths past "maxLength", and records what it was asked.
struct ScriptedLimit : BodyLimit {
  std::string refuseBody(const URLResponse& response,
                         std::int64_t offset) override {
    body = {offset, response.expectedContentLength};
    return "";
  }
  std::string refuseGrowth(std::int64_t length) override {
    if (length > maxLength) return "Too long.";
    largest = length;
    return "";
  }
  std::int64_t maxLength = INT64_MAX;
  std::pair<std::int64_t, std::int64_t> body;
  std::int64_t largest = 0;
};

TEST_F(CurlWebDownloadTest, ABodyLimitIsAskedBeforeEveryWrite) {
  // A resumed body counts the bytes already in the file; a refused piece is
  // not written, and fails the download for good.
  TestHttpsServer& server = startServer(R"({"etag": "\"v1\""})");
  const std::int64_t size = static_cast<std::int64_t>(body_.size());
  writeFile(destination(), body_.substr(0, 1000));
  for (const std::int64_t maxLength : {INT64_MAX, std::int64_t{1} << 20}) {
    auto limit = std::make_shared<ScriptedLimit>();
    limit->maxLength = maxLength;
    Recorder recorder(*loop_);
    std::unique_ptr<WebDownload> download =
        start(server.url(), recorder, 60, {}, ResumePoint{1000, "\"v1\"", size},
              limit);
    download->setDeletesFileUponFailure(false);
    ASSERT_TRUE(runFor(10));
    EXPECT_EQ(limit->body, std::make_pair(std::int64_t{1000}, size - 1000));
    EXPECT_LE(limit->largest, maxLength);
    EXPECT_TRUE(readFile(destination()) == body_.substr(0, limit->largest));
    if (maxLength < size) {
      EXPECT_EQ("Too long.", recorder.error->localizedDescription);
      EXPECT_EQ(DownloadFailure::kOther, recorder.error->failure);
    } else {
      EXPECT_EQ(size, limit->largest);
    }
    writeFile(destination(), body_.substr(0, 1000));
  }
}

TEST_F(CurlWebDownloadTest, FailuresSayWhetherARetryMayHelp) {
  TestHttpsServer& server = startServer(R"({"cut_after": 1000})");
  EXPECT_EQ(DownloadFailure::kConnectionLost,
            download(server.url()).error->failure);
  server.setControl(R"({"status": 503, "retry_after": "7"})");
  Recorder busy = download(server.url());
  EXPECT_EQ(DownloadFailure::kHttpStatus, busy.error->failure);
  EXPECT_EQ("7", busy.error->response->valueForHeaderField("Retry-After"));
  server.setControl(R"({"reset": true})");
  EXPECT_EQ(DownloadFailure::kConnectionLost,
            download(server.url()).error->failure);
  // Nothing listens on port 1.
  EXPECT_EQ(DownloadFailure::kCannotConnect,
            download("https://127.0.0.1:1/").error->failure);
}

TEST_F(CurlWebDownloadTest, ResponseWithoutLengthReportsMinusOne) {
  TestHttpsServer& server = startServer(R"({"no_length": true})");
  Recorder recorder = download(server.url());
  EXPECT_EQ(Events({"response", "data", "finish"}), recorder.events);
  EXPECT_EQ(-1, recorder.response->expectedContentLength);
  EXPECT_TRUE(readFile(destination()) == body_);
}

TEST_F(CurlWebDownloadTest, AnEncodedBodyIsDecodedAndHasNoLength) {
  TestHttpsServer& server = startServer();
  for (const std::string coding : {"gzip", "deflate"}) {
    SCOPED_TRACE(coding);
    server.setControl("{\"content_encoding\": \"" + coding + "\"}");
    Recorder recorder = download(server.url());
    EXPECT_EQ(Events({"response", "data", "finish"}), recorder.events);
    EXPECT_EQ(-1, recorder.response->expectedContentLength);
    EXPECT_TRUE(readFile(destination()) == body_);
  }
}

TEST_F(CurlWebDownloadTest, ABodyEndedByTheConnectionNeedsACloseNotify) {
  // Given a body without length or chunks, the server's close_notify ends
  // it; a connection closed without one is a cut.
  TestHttpsServer& server = startServer(R"({"close_delimited": true})");
  Recorder whole = download(server.url());
  EXPECT_EQ(Events({"response", "data", "finish"}), whole.events);
  EXPECT_TRUE(readFile(destination()) == body_);

  server.setControl(R"({"close_delimited": true, "cut_after": 1000000})");
  Recorder cut = download(server.url());
  EXPECT_EQ(Events({"response", "data", "failure"}), cut.events);
  EXPECT_EQ(DownloadFailure::kConnectionLost, cut.error->failure);
  EXPECT_FALSE(testing_env::exists(destination()));
}

TEST_F(CurlWebDownloadTest, CancelFromACallbackEndsEverything) {
  // Given a delegate that cancels, or destroys, the download from inside a
  // callback, no callback follows and the partial file is gone.
  TestHttpsServer& server = startServer();
  for (std::string moment : {"response", "data", "destroy"}) {
    SCOPED_TRACE(moment);
    Recorder recorder(*loop_);
    std::unique_ptr<WebDownload> download = start(server.url(), recorder);
    auto cancel = [&] {
      if (moment == "destroy") {
        download.reset();
      } else {
        download->cancel();
      }
    };
    (moment == "response" ? recorder.onResponse : recorder.onData) = cancel;

    EXPECT_FALSE(runFor(0.5));
    EXPECT_EQ(moment == "response" ? Events({"response"})
                                   : Events({"response", "data"}),
              recorder.events);
    EXPECT_FALSE(testing_env::exists(destination()));
  }
}

TEST_F(CurlWebDownloadTest, StalledServerTimesOut) {
  // Given a server that sends its header and then nothing, a one-second
  // time-out fails the download long before the server goes on.
  TestHttpsServer& server = startServer(R"({"stall": 20})");
  Recorder recorder(*loop_);
  std::unique_ptr<WebDownload> download = start(server.url(), recorder, 1.0);
  double started = loop_->now();
  ASSERT_TRUE(runFor(10));
  EXPECT_LT(loop_->now() - started, 5.0);
  EXPECT_EQ(Events({"response", "failure"}), recorder.events);
  EXPECT_FALSE(testing_env::exists(destination()));
}

TEST_F(CurlWebDownloadTest, MatchingIfNoneMatchIsAnswered304WithoutBody) {
  // Given the server's current ETag in If-None-Match, the answer is a 304
  // response and the end, with no body sent and no file made; a stale ETag
  // gets the whole body.
  TestHttpsServer& server = startServer(R"({"etag": "\"v2\""})");
  Recorder notModified = download(server.url(), {{"If-None-Match", "\"v2\""}});
  EXPECT_EQ(Events({"response", "finish"}), notModified.events);
  EXPECT_EQ(304, notModified.response->statusCode);
  EXPECT_FALSE(testing_env::exists(destination()));
  EXPECT_EQ(0, server.stat("body_bytes"));

  Recorder stale = download(server.url(), {{"If-None-Match", "\"v1\""}});
  EXPECT_EQ(Events({"response", "data", "finish"}), stale.events);
  EXPECT_EQ(200, stale.response->statusCode);
  EXPECT_TRUE(readFile(destination()) == body_);
}

TEST_F(CurlWebDownloadTest, AUrlThatDoesNotParseIsNamedAsGiven) {
  for (const std::string url : {"ht tp://[::1", "https://", ""}) {
    SCOPED_TRACE(url);
    Recorder recorder = download(url);
    EXPECT_EQ(Events({"failure"}), recorder.events);
    EXPECT_EQ(url, recorder.error->failingURLString);
    EXPECT_NE("", recorder.error->localizedDescription);
  }
}

TEST_F(CurlWebDownloadTest, WriteErrorFailsCleanly) {
  // Given a file size limit below the body's size, the write error fails the
  // download (the process survives SIGXFSZ) and the partial file goes.
  TestHttpsServer& server = startServer();
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limited = saved;
  limited.rlim_cur = 256 * 1024;
  setrlimit(RLIMIT_FSIZE, &limited);
  Recorder recorder = download(server.url());
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_EQ(Events({"response", "data", "failure"}), recorder.events);
  EXPECT_EQ("Could not write " + destination() + ": File too large.",
            recorder.error->localizedDescription);
  EXPECT_FALSE(testing_env::exists(destination()));
}

TEST_F(CurlWebDownloadTest, FollowsRedirectsWithinLimitsAndNeverLeavesHttps) {
  TestHttpsServer& server = startServer();
  Recorder followed = download(server.url("/redirect?to=/agent.zip"));
  EXPECT_EQ(Events({"response", "data", "finish"}), followed.events);
  EXPECT_EQ(server.url(), followed.response->url);
  EXPECT_TRUE(readFile(destination()) == body_);

  // A redirect loop ends after ten redirects: eleven requests, after the two
  // above.
  Recorder looped = download(server.url("/loop"));
  EXPECT_EQ(Events({"failure"}), looped.events);
  EXPECT_EQ(2 + 11, server.stat("requests"));

  // From https to plain http is refused.
  TestHttpsServer plain(source(), makeDir("plain"), /*plain=*/true);
  ASSERT_TRUE(plain.started());
  Recorder downgraded = download(server.url("/redirect?to=" + plain.url()));
  EXPECT_EQ(Events({"failure"}), downgraded.events);
  EXPECT_EQ(0, plain.stat("requests"));
}

TEST_F(CurlWebDownloadTest, PlainHttpAndFileUrlsWork) {
  TestHttpsServer plain(source(), makeDir("plain"), /*plain=*/true);
  ASSERT_TRUE(plain.started());
  Recorder http = download(plain.url());
  EXPECT_EQ(Events({"response", "data", "finish"}), http.events);
  EXPECT_TRUE(readFile(destination()) == body_);

  // A file: URL has no HTTP status but announces its length.
  Recorder file = download("file://" + source());
  EXPECT_EQ(Events({"response", "data", "finish"}), file.events);
  EXPECT_EQ(0, file.response->statusCode);
  EXPECT_EQ(static_cast<std::int64_t>(body_.size()),
            file.response->expectedContentLength);
  EXPECT_TRUE(readFile(destination()) == body_);
}

TEST_F(CurlWebDownloadTest, ReplacesAnExistingFileOnlyWhenAllowed) {
  // Given a file at the destination, a download that may not overwrite it
  // fails and leaves it untouched, even when failed files are deleted.
  writeFile(destination(), "precious");
  Recorder refused(*loop_);
  std::unique_ptr<WebDownload> download = start("file://" + source(), refused);
  download->setDestination(destination(), false);
  ASSERT_TRUE(runFor(10));
  EXPECT_EQ(Events({"failure"}), refused.events);
  EXPECT_EQ("Could not create " + destination() + ": File exists.",
            refused.error->localizedDescription);
  EXPECT_EQ("precious", readFile(destination()));

  Recorder replaced = this->download("file://" + source());
  EXPECT_EQ(Events({"response", "data", "finish"}), replaced.events);
  EXPECT_TRUE(readFile(destination()) == body_);
}

}  // namespace
}  // namespace platform
