#include "download/agent_fetch.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/archive_space_check.h"
#include "gtest/gtest.h"
#include "platform/os/service.h"
#include "testing/fake_agent_cache.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_system_log.h"
#include "testing/fake_web_download.h"
#include "testing/signature_vectors.h"
#include "testing/test_env.h"

namespace {

using Outcome = AgentCache::Outcome;

const std::string kUrl = "https://127.0.0.1/agent.zip";
const std::string kSignatureUrl = kUrl + ".minisig";
const std::string kDownloadFailed =
    "failed: Error during the download process.\nSee your system log for "
    "more information.";
const std::string kSignatureRefused =
    "failed: The installer's signature is not valid.";

// Hears the fetch as one line a report, and cancels it after a start, as
// the window does by closing.
struct RecordingObserver : AgentFetch::Observer {
  void downloadDidReceiveResponse(std::int64_t length,
                                  const std::string& host) override {
    heard.push_back("response " + std::to_string(length));
    hosts.push_back(host);
  }
  void downloadDidReceiveDataOfLength(std::uint64_t length) override {
    heard.push_back("data " + std::to_string(length));
  }
  void downloadIsStalled(int seconds) override {
    heard.push_back("stalled " + std::to_string(seconds));
  }
  void downloadWillRetry(const platform::RetryNotice& notice) override {
    heard.push_back("retry: " + notice.reason);
  }
  void downloadDidChangeStatus(const std::string& status) override {
    heard.push_back("status: " + status);
  }
  void downloadIsCheckingSignature() override { heard.push_back("checking"); }
  void downloadDidFinish() override { heard.push_back("finished"); }
  void downloadDidFailWithError(const std::string& message,
                                const std::string& advice) override {
    heard.push_back("failed: " + message);
    advices.push_back(advice);
  }
  bool agentMayStart() override {
    heard.push_back("may start?");
    return mayStart;
  }
  void fireInstallAgent(Outcome outcome) override {
    outcomes.push_back(outcome);
    if (outcome == Outcome::kStarted) fetch->cancel();
  }

  std::vector<std::string> heard;
  std::vector<std::string> hosts;
  std::vector<std::string> advices;
  std::vector<Outcome> outcomes;
  bool mayStart = true;
  AgentFetch* fetch = nullptr;
};

std::vector<std::string> withFirst(const std::string& url,
                                   std::vector<std::string> more) {
  more.insert(more.begin(), url);
  return more;
}

// A fetch of kUrl, then "mirrors", into a scratch directory, with the
// doubles it talks to.
struct FetchRun {
  explicit FetchRun(std::optional<SigningKeys> signingKeys = std::nullopt,
                    std::vector<std::string> mirrors = {})
      : fetch(cache, downloads, loop, scratch / "InstallAgent.zip",
              withFirst(kUrl, std::move(mirrors)), {}, signingKeys, observer) {
    observer.fetch = &fetch;
  }
  // Starts the fetch and returns its request's record.
  platform::FakeDownloadRecord& start() {
    fetch.start();
    return *downloads.started.back();
  }

  testing_env::ScratchDirectory scratch;
  platform::FakeEventLoop loop;
  platform::FakeWebDownloadFactory downloads;
  FakeAgentCache cache;
  platform::FakeSystemLog log;
  platform::ScopedService<platform::SystemLog> logService{&log};
  RecordingObserver observer;
  AgentFetch fetch;
};

SigningKeys vectorKey() {
  PublicKey key;
  std::string error;
  EXPECT_TRUE(parsePublicKey(kVectorPublicKey, &key, &error)) << error;
  return SigningKeys{{key}, std::nullopt};
}

platform::URLResponse response(int status, std::optional<std::string> etag,
                               std::int64_t length = -1) {
  platform::URLResponse answer;
  answer.statusCode = status;
  answer.url = kUrl;
  answer.expectedContentLength = length;
  if (etag) answer.headerFields.emplace_back("ETag", *etag);
  return answer;
}

// The If-None-Match field of the request, if it has one.
std::optional<std::string> ifNoneMatch(const platform::URLRequest& request) {
  platform::URLResponse fields;
  fields.headerFields = request.headerFields;
  return fields.valueForHeaderField("If-None-Match");
}

TEST(AgentFetchTest, TheCachedAgentsStampIsOfferedUntilA400RefusesIt) {
  for (const std::optional<std::string>& stamp :
       {std::optional<std::string>("\"v1\""), std::optional<std::string>()}) {
    SCOPED_TRACE(stamp.value_or("none"));
    FetchRun run;
    run.cache.stamp = stamp;
    platform::FakeDownloadRecord& archive = run.start();
    EXPECT_EQ(archive.request.url, kUrl);
    EXPECT_EQ(archive.request.timeoutInterval, 60.0);
    EXPECT_EQ(ifNoneMatch(archive.request), stamp);
    EXPECT_NE(
        dynamic_cast<ArchiveSpaceCheck*>(archive.request.bodyLimit.get()),
        nullptr);
    EXPECT_EQ(archive.destination, run.scratch / "InstallAgent.zip");
    EXPECT_TRUE(archive.allowOverwrite);
    EXPECT_TRUE(archive.deletesFileUponFailure);

    // A 400 to the stamp is asked once more without it; one to a request
    // without a stamp is the fetch's failure.
    const platform::DownloadError refused(
        "The server answered with HTTP status 400.", kUrl,
        platform::DownloadFailure::kOther, response(400, std::nullopt));
    archive.fail(refused);
    if (stamp) {
      ASSERT_EQ(run.downloads.started.size(), 2u);
      EXPECT_EQ(ifNoneMatch(run.downloads.started[1]->request), std::nullopt);
      EXPECT_TRUE(run.observer.heard.empty());
      run.downloads.started[1]->fail(refused);
    }
    EXPECT_EQ(run.downloads.started.size(), stamp ? 2u : 1u);
    EXPECT_EQ(run.observer.heard, std::vector<std::string>{kDownloadFailed});
  }
}

TEST(AgentFetchTest, ACurrentCachedAgentStartsWithoutDownloading) {
  // An ETag that matches the cached agent's stamp, or a 304 to the stamp
  // offered (whatever ETag it repeats), starts the cached agent; the
  // archive is not fetched, also when the start fails.
  struct Case {
    const char* name;
    platform::URLResponse answer;
    Outcome outcome;
  };
  for (const Case& c :
       {Case{"matching ETag", response(200, "\"v1\"", 1000), Outcome::kStarted},
        Case{"304 repeating it", response(304, "\"v1\""), Outcome::kStarted},
        Case{"304 without it", response(304, std::nullopt), Outcome::kStarted},
        Case{"start failed", response(200, "\"v1\"", 1000),
             Outcome::kNotStarted}}) {
    SCOPED_TRACE(c.name);
    FetchRun run;
    run.cache.stamp = "\"v1\"";
    run.cache.startOutcome = c.outcome;
    platform::FakeDownloadRecord& archive = run.start();
    archive.respond(c.answer);

    EXPECT_EQ(run.cache.cachedStarts, 1);
    EXPECT_EQ(run.observer.outcomes, std::vector<Outcome>{c.outcome});
    EXPECT_EQ(run.observer.heard, std::vector<std::string>{"may start?"});
    EXPECT_EQ(archive.cancelCalls, 1);
    EXPECT_TRUE(run.cache.installs.empty());
    EXPECT_TRUE(run.log.lines.empty());
  }
}

TEST(AgentFetchTest, AnUnreachableServerStartsTheTrustedCachedAgentAtOnce) {
  platform::DownloadError unreachable(
      "Could not connect to server.", kUrl,
      platform::DownloadFailure::kCannotConnect);
  unreachable.serverUnreachable = true;
  const platform::DownloadError busy(
      "The server answered with HTTP status 503.", kUrl,
      platform::DownloadFailure::kHttpStatus, response(503, std::nullopt));
  struct Case {
    const char* name;
    platform::DownloadError cause;
    bool cached;
    std::optional<SigningKeys> key;
    bool startsOffline;
  };
  for (const Case& c :
       {Case{"cached", unreachable, true, std::nullopt, true},
        Case{"nothing cached", unreachable, false, std::nullopt, false},
        Case{"the server answered", busy, true, std::nullopt, false},
        Case{"not verified with the key", unreachable, true, vectorKey(),
             false}}) {
    SCOPED_TRACE(c.name);
    FetchRun run(c.key);
    // Noon, so that the day is the same in every time zone.
    if (c.cached) run.cache.downloadedAt = 1796731200;  // 2026-12-08 12:00 UTC
    platform::FakeDownloadRecord& archive = run.start();
    archive.delegate->downloadWillRetry(
        archive.download, platform::RetryNotice{1.0, "Cannot reach the server",
                                                1, c.cause});
    if (!c.startsOffline) {
      EXPECT_EQ(run.observer.heard,
                std::vector<std::string>{"retry: Cannot reach the server"});
      EXPECT_EQ(archive.cancelCalls, 0);
      continue;
    }
    EXPECT_EQ(run.observer.heard,
              (std::vector<std::string>{
                  "status: Cannot reach the server: starting the installer "
                  "downloaded on 2026-12-08.",
                  "may start?"}));
    EXPECT_EQ(run.observer.outcomes, std::vector<Outcome>{Outcome::kStarted});
    EXPECT_EQ(archive.cancelCalls, 1);
    EXPECT_EQ(run.log.lines,
              std::vector<std::string>{
                  "Starting the cached installer offline! Error - Could not "
                  "connect to server. " + kUrl});
  }
}

TEST(AgentFetchTest, AServersFailureForGoodAsksTheNextMirror) {
  const std::string kMirror = "https://mirror.example/agent.zip";
  struct Case {
    const char* name;
    platform::DownloadError error;
    bool next;
  };
  auto status = [](int code) {
    return platform::DownloadError(
        "The server answered with HTTP status " + std::to_string(code) + ".",
        kUrl, platform::DownloadFailure::kHttpStatus,
        response(code, std::nullopt));
  };
  for (const Case& c :
       {Case{"503", status(503), true}, Case{"404", status(404), true},
        Case{"cut short", {"Connection reset.", kUrl,
                           platform::DownloadFailure::kConnectionLost},
             true},
        Case{"403", status(403), false},
        Case{"TLS", {"SSL certificate problem.", kUrl}, false}}) {
    SCOPED_TRACE(c.name);
    FetchRun run(vectorKey(), {kMirror});
    // The stamp is the first server's, never offered to the mirror.
    run.cache.stamp = "\"v1\"";
    run.cache.verifiedWith = vectorKey().keys[0].keyId;
    run.cache.origin = kUrl;
    platform::FakeDownloadRecord& archive = run.start();
    EXPECT_EQ(ifNoneMatch(archive.request), "\"v1\"");
    archive.fail(c.error);
    if (!c.next) {
      EXPECT_EQ(run.downloads.started.size(), 1u);
      EXPECT_EQ(run.observer.heard, std::vector<std::string>{kDownloadFailed});
      continue;
    }
    EXPECT_EQ(
        run.observer.heard,
        std::vector<std::string>{"status: Trying another server (2 of 2)"});
    ASSERT_EQ(run.downloads.started.size(), 2u);
    platform::FakeDownloadRecord& mirror = *run.downloads.started[1];
    EXPECT_EQ(mirror.request.url, kMirror);
    EXPECT_EQ(ifNoneMatch(mirror.request), std::nullopt);
    std::ofstream(mirror.destination).flush();
    mirror.respond(response(200, "\"m1\"", 1000));
    ASSERT_EQ(run.downloads.started.size(), 3u);
    EXPECT_EQ(run.downloads.started[2]->request.url, kMirror + ".minisig");
    // The mirror failing too is the fetch's failure: each server's failure
    // is logged, the advice once, for the last.
    mirror.fail(status(503));
    EXPECT_EQ(run.observer.heard.back(), kDownloadFailed);
    EXPECT_EQ(run.observer.advices,
              std::vector<std::string>{run.log.lines.back()});
    EXPECT_EQ(run.log.lines.size(), 3u);
  }
}

TEST(AgentFetchTest, A304ThatVouchesForNoCachedAgentFails) {
  // Nothing offered (so no server should answer 304), or the offered agent
  // replaced by another run's before the answer came: no archive follows
  // and nothing cached matches, so the fetch has failed.
  for (bool offered : {false, true}) {
    SCOPED_TRACE(offered ? "replaced meanwhile" : "nothing offered");
    FetchRun run;
    if (offered) run.cache.stamp = "\"v1\"";
    platform::FakeDownloadRecord& archive = run.start();
    if (offered) run.cache.stamp = "\"v2\"";
    archive.respond(response(304, std::nullopt));

    EXPECT_EQ(run.cache.cachedStarts, 0);
    EXPECT_EQ(archive.cancelCalls, 1);
    EXPECT_EQ(run.log.lines,
              std::vector<std::string>{
                  "Download failed! Error - The server answered with HTTP "
                  "status 304, and no cached agent matches it. " +
                  kUrl});
    EXPECT_EQ(run.observer.heard, std::vector<std::string>{kDownloadFailed});
    run.loop.run(nullptr);
    EXPECT_TRUE(run.cache.installs.empty());
  }
}

TEST(AgentFetchTest, AStaleCachedAgentStaysUntilTheArchiveIsComplete) {
  // Given a cached agent that the server's ETag does not vouch for, the
  // archive is downloaded, then handed to the cache at the loop's next turn
  // under that ETag; a failed download installs nothing.
  struct Case {
    const char* name;
    std::optional<std::string> stored;  // stamp in the cache
    std::optional<std::string> sent;    // ETag from the server
  };
  for (const Case& c : {Case{"changed", "\"v1\"", "\"v2\""},
                        Case{"not sent", "\"v1\"", std::nullopt},
                        Case{"never stored", std::nullopt, "\"v1\""},
                        Case{"unquoted", "\"v1\"", "v1"}}) {
    SCOPED_TRACE(c.name);
    for (const bool completes : {true, false}) {
      FetchRun run;
      run.cache.stamp = c.stored;
      platform::FakeDownloadRecord& archive = run.start();
      archive.respond(response(200, c.sent, 1000));
      archive.receive(1000);
      EXPECT_EQ(run.cache.cachedStarts, 0);
      EXPECT_EQ(archive.cancelCalls, 0);
      if (!completes) {
        archive.fail({"The network connection was lost.", std::nullopt});
        run.loop.run(nullptr);
        EXPECT_TRUE(run.cache.installs.empty());
        EXPECT_EQ(run.observer.heard.back(), kDownloadFailed);
        continue;
      }
      archive.finish();
      EXPECT_TRUE(run.cache.installs.empty()) << "not from the callback";
      run.loop.run(nullptr);
      ASSERT_EQ(run.cache.installs.size(), 1u);
      EXPECT_EQ(run.cache.installs[0].archive,
                run.scratch / "InstallAgent.zip");
      EXPECT_EQ(run.cache.installs[0].etag, c.sent);
      EXPECT_EQ(run.cache.installs[0].verified, std::nullopt);
      EXPECT_EQ(run.observer.heard,
                (std::vector<std::string>{"response 1000", "data 1000",
                                          "finished", "may start?"}));
      EXPECT_EQ(run.observer.outcomes, std::vector<Outcome>{Outcome::kStarted});
    }
  }
}

TEST(AgentFetchTest, ACancelBeforeTheHandOffInstallsNothing) {
  FetchRun run;
  platform::FakeDownloadRecord& archive = run.start();
  archive.respond(response(200, "\"v1\"", 10));
  archive.finish();
  run.fetch.cancel();
  run.loop.run(nullptr);
  EXPECT_TRUE(run.cache.installs.empty());
  EXPECT_TRUE(run.observer.outcomes.empty());
}

// Plays a download of "content" into its destination, written as a real
// download writes it: the file first, then each piece before it is told.
void deliver(platform::FakeDownloadRecord& download,
             const std::string& content) {
  std::ofstream file(download.destination, std::ios::binary);
  download.respond(
      response(200, "\"v2\"", static_cast<std::int64_t>(content.size())));
  for (std::size_t at = 0; at < content.size(); at += 5) {
    file << content.substr(at, 5) << std::flush;
    download.receive(std::min<std::size_t>(5, content.size() - at));
  }
  download.finish();
}

// A signed fetch of the vector archive; "signature" plays its .minisig.
struct SignedRun : FetchRun {
  explicit SignedRun(
      std::function<void(platform::FakeDownloadRecord&)> signature)
      : FetchRun(vectorKey()) {
    downloads.script = [signature](platform::FakeDownloadRecord& d) {
      if (d.request.url == kUrl) return deliver(d, kVectorArchive);
      signature(d);
    };
    fetch.start();
    loop.run(nullptr);
  }
};

TEST(AgentFetchTest, ASignedArchiveIsInstalledOnceItsSignatureHolds) {
  for (const char* signature :
       {kVectorPrehashedSignature, kVectorLegacySignature}) {
    SignedRun run([signature](platform::FakeDownloadRecord& d) {
      deliver(d, signature);
    });

    ASSERT_EQ(run.downloads.started.size(), 2u);
    const platform::FakeDownloadRecord& fetch = *run.downloads.started[1];
    EXPECT_EQ(fetch.request.url, kSignatureUrl);
    EXPECT_EQ(fetch.request.timeoutInterval, 60.0);
    EXPECT_TRUE(fetch.request.headerFields.empty());
    EXPECT_EQ(fetch.destination, run.scratch / "InstallAgent.zip.minisig");
    EXPECT_TRUE(fetch.deletesFileUponFailure);
    EXPECT_EQ(run.observer.heard.back(), "may start?");
    EXPECT_EQ(run.observer.heard[run.observer.heard.size() - 3], "checking");
    ASSERT_EQ(run.cache.installs.size(), 1u);
    EXPECT_EQ(run.cache.installs[0].etag, "\"v2\"");
    ASSERT_TRUE(run.cache.installs[0].verified);
    EXPECT_EQ(run.cache.installs[0].verified->release.keyId,
              vectorKey().keys[0].keyId);
  }
}

TEST(AgentFetchTest, WithoutAValidSignatureNothingIsInstalled) {
  std::string changed = kVectorPrehashedSignature;
  changed.replace(changed.find("release 1"), 9, "release 2");
  struct Case {
    std::function<void(platform::FakeDownloadRecord&)> signature;
    std::string reason;
  };
  for (const Case& c : {
           Case{[](platform::FakeDownloadRecord& d) {
                  d.fail({"The server answered with HTTP status 404.",
                          kSignatureUrl});
                },
                "The server answered with HTTP status 404."},
           Case{[changed](platform::FakeDownloadRecord& d) {
                  deliver(d, changed);
                },
                "The trusted comment does not match the signature."},
           Case{[](platform::FakeDownloadRecord& d) {
                  d.respond(response(200, std::nullopt));
                  d.receive(20000);
                  EXPECT_FALSE(d.live()) << "not cancelled";
                },
                "The signature is larger than 16384 bytes."},
       }) {
    SCOPED_TRACE(c.reason);
    SignedRun run(c.signature);

    EXPECT_TRUE(run.cache.installs.empty());
    EXPECT_EQ(run.observer.heard.back(), kSignatureRefused);
    const std::string advice =
        "The download could not be verified as the vendor's; contact the "
        "vendor.";
    EXPECT_EQ(run.log.lines,
              (std::vector<std::string>{"Signature check failed! Error - " +
                                            c.reason + " " + kSignatureUrl,
                                        advice}));
    EXPECT_EQ(run.observer.advices, std::vector<std::string>{advice});
  }
}

TEST(AgentFetchTest, EitherDownloadFailingStopsTheOther) {
  {
    // The signature is missing: the rest of the archive is not waited for.
    FetchRun run(vectorKey());
    platform::FakeDownloadRecord& archive = run.start();
    std::ofstream(archive.destination).flush();
    archive.respond(response(200, "\"v2\"", 1000));
    archive.receive(10);
    ASSERT_EQ(run.downloads.started.size(), 2u);
    EXPECT_EQ(run.downloads.started[1]->request.url, kSignatureUrl);

    run.downloads.started[1]->fail(
        {"The server answered with HTTP status 404.", kSignatureUrl});
    EXPECT_EQ(archive.cancelCalls, 1);
    EXPECT_EQ(run.observer.heard.back(), kSignatureRefused);
  }
  {
    // The archive fails: its failure is the one reported.
    FetchRun run(vectorKey());
    platform::FakeDownloadRecord& archive = run.start();
    std::ofstream(archive.destination).flush();
    archive.respond(response(200, "\"v2\"", 1000));
    archive.fail({"Connection reset.", kUrl});
    ASSERT_EQ(run.downloads.started.size(), 2u);
    EXPECT_EQ(run.downloads.started[1]->cancelCalls, 1);
    ASSERT_EQ(run.log.lines.size(), 1u);
    EXPECT_EQ(run.log.lines[0].rfind("Download failed!", 0), 0u);
    EXPECT_EQ(run.observer.heard.back(), kDownloadFailed);
  }
  {
    // Cancelled, the fetch stops both.
    FetchRun run(vectorKey());
    platform::FakeDownloadRecord& archive = run.start();
    std::ofstream(archive.destination).flush();
    archive.respond(response(200, "\"v2\"", 1000));
    run.fetch.cancel();
    EXPECT_EQ(archive.cancelCalls, 1);
    EXPECT_EQ(run.downloads.started[1]->cancelCalls, 1);
  }
}

TEST(AgentFetchTest, ABodyThatStopsArrivingIsSaidToStallEachSecond) {
  FetchRun run;
  platform::FakeDownloadRecord& archive = run.start();
  archive.respond(response(200, "\"v1\"", 1000));
  run.loop.advance(9.5);
  archive.receive(100);  // the quiet starts over
  run.loop.advance(9.9);
  EXPECT_EQ(run.observer.heard.back(), "data 100");
  run.loop.advance(0.1);
  EXPECT_EQ(run.observer.heard.back(), "stalled 10");
  run.loop.advance(2.0);
  EXPECT_EQ(run.observer.heard.back(), "stalled 12");

  // The end of the transfer ends the notices.
  const std::size_t heard = run.observer.heard.size();
  archive.fail(platform::DownloadError("Timed out.", kUrl,
                                       platform::DownloadFailure::kTimedOut));
  run.loop.advance(30.0);
  EXPECT_EQ(run.observer.heard.size(), heard + 1);
  EXPECT_EQ(run.observer.heard.back(), kDownloadFailed);
}

}  // namespace
