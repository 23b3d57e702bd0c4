#ifndef DOWNLOAD_AGENT_FETCH_H_
#define DOWNLOAD_AGENT_FETCH_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_cache.h"
#include "agent/archive_signature_check.h"
#include "agent/bundle_public_key.h"
#include "download/signature_fetch.h"
#include "download/stall_watch.h"
#include "platform/loop/event_loop.h"
#include "platform/net/web_download.h"

// One conversation with the download server about the install agent, and
// the agent cache's part in it: downloads the archive, revalidating the
// cache against the server's ETag, and has the cache start the agent, from
// a new archive or as it holds it. It only reports; its Observer shows how
// it goes.
//
// With signing keys, a downloaded archive reaches the cache only with a
// valid signature by one of them from "<URL>.minisig", fetched beside the
// archive once the response shows that the cached agent is not current,
// whose signed fields let it be installed (archive_signature_check.h). Only
// a cached agent verified with one of the keys, and not expired, counts as
// current, and the cache unpacks the very file that was verified, unless it
// was signed before the agent the cache accepted last. The archive is
// refused, for good, when the disks cannot take it (archive_space_check.h):
// before its body when its length says so, else as it arrives.
//
// The archive is downloaded into the cache's partial slot when it gives one
// (partial_archive.h): a run that ends before it is complete leaves it
// there, and the next run asks for the rest with Range and If-Range. The
// complete archive moves to "installAgentLocation".
//
// When the server cannot be reached at all (web_download.h's
// serverUnreachable) and the cache holds an agent this bundle trusts
// (verified with one of its keys and not expired, as above), that agent is
// started at the first such failure, without waiting for the retries: a
// machine without a network still installs.
//
// The archive may be had from several URLs, tried in order: when one fails
// for good on the server's side (its retries used up, a 5xx, a 404), the
// next one is asked, and its signature comes from that URL too.
class AgentFetch : public platform::WebDownloadDelegate {
 public:
  // Hears how the fetch goes, on the loop's thread, in this order: a
  // response, data and retries, then the end: a failure, or the archive
  // complete (its signature checked first, with a key) and the start's
  // outcome. A cached agent may be started right on the response.
  class Observer {
   public:
    virtual ~Observer() = default;
    // The archive's body starts, from its first byte, "length" bytes long
    // (-1 when not announced), from the server "host". A response after a
    // retry starts it over.
    virtual void downloadDidReceiveResponse(std::int64_t length,
                                            const std::string& host) = 0;
    virtual void downloadDidReceiveDataOfLength(std::uint64_t length) = 0;
    // No data has come for "seconds" while the transfer's idle time-out
    // runs; more data, a retry or the end follows.
    virtual void downloadIsStalled(int seconds) = 0;
    // The transfer pauses for the notice's time; what arrived stays.
    virtual void downloadWillRetry(const platform::RetryNotice& notice) = 0;
    // What the fetch is doing now, for the status line.
    virtual void downloadDidChangeStatus(const std::string& status) = 0;
    // The archive is complete; its signature is being checked.
    virtual void downloadIsCheckingSignature() = 0;
    // The archive is complete and, with a key, signed: the cache installs
    // it from the loop's next turn on, and starts it.
    virtual void downloadDidFinish() = 0;
    // The fetch failed for good, for the reason the system log has put on
    // standard error already; "message" tells the user, and "advice", one
    // line, what happened and what to do (on standard error too).
    virtual void downloadDidFailWithError(const std::string& message,
                                          const std::string& advice) = 0;
    // The cache's last word before the agent starts, called with the cache
    // locked: true lets it start. Must not run the event loop.
    virtual bool agentMayStart() = 0;
    // What starting the agent came to. After a start the fetch expects to
    // be cancelled.
    virtual void fireInstallAgent(AgentCache::Outcome outcome) = 0;
  };

  // Fetches the archive from "urls" (at least one; see above) into
  // "installAgentLocation" with "downloads" on "loop", for "cache", once
  // started, reaching the servers as "connection" says;
  // with "signingKeys", archives must be signed with one of them. All of
  // them must outlive this object.
  AgentFetch(AgentCache& cache, platform::WebDownloadFactory& downloads,
             platform::EventLoop& loop, std::string installAgentLocation,
             std::vector<std::string> urls, platform::Connection connection,
             const std::optional<SigningKeys>& signingKeys, Observer& observer);
  ~AgentFetch() override;
  AgentFetch(const AgentFetch&) = delete;
  AgentFetch& operator=(const AgentFetch&) = delete;

  // Starts the request to the first URL. When the cache holds an agent with
  // a stamp from that URL, the request carries it as If-None-Match; a 400
  // to that request is asked once more without it.
  void start();
  // Stops the archive's and the signature's downloads, and a hand-off to
  // the cache not made yet; nothing is reported after this.
  void cancel();

  // Starts a cached agent whose stamp matches the response's ETag (for a
  // 304, the stamp offered), without downloading; otherwise the body is
  // the archive. A stale cached agent stays until the archive is complete.
  // A 304 that vouches for no cached agent fails the fetch.
  void downloadDidReceiveResponse(platform::WebDownload* download,
                                  const platform::URLResponse& response) override;
  void downloadDidReceiveDataOfLength(platform::WebDownload* download,
                                      std::uint64_t length) override;
  void downloadWillRetry(platform::WebDownload* download,
                         const platform::RetryNotice& notice) override;
  // With a key, checks the signature once it has arrived too (see
  // signatureDidArrive). Then hands the archive to the cache, which installs
  // it under the response's ETag and starts it.
  void downloadDidFinish(platform::WebDownload* download) override;
  void downloadDidFailWithError(platform::WebDownload* download,
                                const platform::DownloadError& error) override;

 private:
  // When "cause" says the server was not reached, starts the agent the
  // cache holds for this bundle, once per fetch, and returns true unless
  // the cache holds none.
  bool startOffline(const platform::DownloadError& cause);
  // When "error" is the current server's failure and another URL is left,
  // says so and starts the request to that one.
  bool tryNextServer(const platform::DownloadError& error);
  // Starts the request for the current URL, with the cache's stamp for it.
  void startFromCurrentUrl();
  // Starts the request for url(), offering offeredStamp_.
  void startRequest();
  // When "error" is a 400 to a request that offered a stamp, starts the
  // request again without it and returns true.
  bool retryUnconditionally(const platform::DownloadError& error);
  // Starts fetching the signature, unless it is on its way already.
  void fetchSignature();
  // Takes the end of the signature's download. One that could not be
  // fetched ("fetchFailure" says why) refuses the archive at once, stopping
  // its download if it still runs; a fetched one is checked when the
  // archive is complete.
  void signatureDidArrive(
      const std::optional<platform::DownloadError>& fetchFailure);
  // Verifies the arrived signature against the complete archive, then hands
  // the archive off or refuses it.
  void checkSignatureAndInstall();
  // Logs why the signature does not hold, naming the signature's URL, and
  // fails the fetch: nothing is unpacked or started.
  void refuseSignature(const std::string& reason, const std::string& url);
  // The archive is complete: it goes where it was to be downloaded to,
  // when it came into the cache's partial slot.
  void completeArchive();
  // Reports the complete archive and hands it to the cache at the loop's
  // next turn.
  void handOff();
  void installAndStart();
  const std::string& url() const { return urls_[current_]; }
  std::string signatureURL() const { return url() + ".minisig"; }
  std::string signatureLocation() const {
    return installAgentLocation_ + ".minisig";
  }

  AgentCache& cache_;
  platform::WebDownloadFactory& downloads_;
  platform::EventLoop& loop_;
  const std::string installAgentLocation_;
  const std::vector<std::string> urls_;
  std::size_t current_ = 0;  // the URL asked now
  const platform::Connection connection_;
  const std::optional<SigningKeys> signingKeys_;
  Observer& observer_;
  std::unique_ptr<platform::WebDownload> theDownload_;
  // The cache's slot the archive is downloaded into, until it is complete;
  // none when the cache gave none.
  std::unique_ptr<PartialArchive> partial_;
  std::string archivePath_;  // where the archive is downloaded to
  // What the request asked to continue, from an earlier run.
  std::optional<platform::ResumePoint> resumedFrom_;
  std::optional<std::string> validationString_;  // the response's ETag
  std::optional<std::string> offeredStamp_;      // sent as If-None-Match
  // Present when archives must be signed: hashes the archive as it arrives.
  std::optional<ArchiveSignatureCheck> signatureCheck_;
  // The ids of the keys archives must be signed with, one of which a cached
  // agent must have been verified with; nullopt when none is needed.
  AgentCache::TrustedKeys trustedKeys_;
  std::unique_ptr<SignatureFetch> signatureFetch_;
  bool signatureArrived_ = false;
  bool archiveComplete_ = false;
  std::optional<platform::EventLoop::TimerId> handOff_;
  StallWatch stall_;
  bool cancelled_ = false;
  bool offlineTried_ = false;
};

#endif  // DOWNLOAD_AGENT_FETCH_H_
