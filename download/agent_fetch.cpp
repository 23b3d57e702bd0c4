#include "download/agent_fetch.h"

#include <algorithm>
#include <ctime>

#include "agent/install_agent_cache.h"
#include "download/archive_space_check.h"
#include "download/failure_advice.h"
#include "platform/net/url_user_info.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"

namespace {

void logLine(const std::string& line) {
  platform::Service<platform::SystemLog>::get().log(line);
}

// "2026-12-08", in local time.
std::string dayOf(std::time_t moment) {
  std::tm local{};
  char day[16] = "";
  if (localtime_r(&moment, &local) != nullptr) {
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
  }
  return day;
}

// The host of "url", as the window names it: without user information or
// port.
std::string hostOf(const std::string& url) {
  const std::string shown = platform::withoutUserInfo(url);
  const std::size_t scheme = shown.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const std::size_t end =
      std::min(shown.find_first_of("/?#", start), shown.size());
  const std::string authority = shown.substr(start, end - start);
  if (!authority.empty() && authority[0] == '[') {
    return authority.substr(0, authority.find(']') + 1);
  }
  return authority.substr(0, authority.find(':'));
}

}  // namespace

AgentFetch::AgentFetch(AgentCache& cache,
                       platform::WebDownloadFactory& downloads,
                       platform::EventLoop& loop,
                       std::string installAgentLocation,
                       std::vector<std::string> urls,
                       platform::Connection connection,
                       const std::optional<SigningKeys>& signingKeys,
                       Observer& observer)
    : cache_(cache),
      downloads_(downloads),
      loop_(loop),
      installAgentLocation_(std::move(installAgentLocation)),
      urls_(std::move(urls)),
      connection_(std::move(connection)),
      signingKeys_(signingKeys),
      observer_(observer),
      stall_(loop, [this](int seconds) { observer_.downloadIsStalled(seconds); }) {
  if (signingKeys) trustedKeys_ = signingKeys->keyIds();
}

AgentFetch::~AgentFetch() {
  if (handOff_) loop_.cancelDelayed(*handOff_);
}

void AgentFetch::start() {
  // In the cache, what arrives outlasts a run that ends before the archive
  // is complete, however it ends.
  partial_ = cache_.takePartialArchive(installAgentLocation_);
  archivePath_ = partial_ ? partial_->path() : installAgentLocation_;
  if (signingKeys_) signatureCheck_.emplace(*signingKeys_, archivePath_);
  startFromCurrentUrl();
}

void AgentFetch::startFromCurrentUrl() {
  // Offering the cached agent's stamp lets the server answer a still-current
  // agent with a 304 instead of sending the archive again. The cache keeps
  // the URL without a password in it.
  offeredStamp_ =
      cache_.offeredStamp(platform::withoutUserInfo(url()), trustedKeys_);
  startRequest();
}

void AgentFetch::cancel() {
  cancelled_ = true;
  if (handOff_) loop_.cancelDelayed(*handOff_);
  handOff_.reset();
  stall_.stop();
  if (theDownload_) theDownload_->cancel();
  if (signatureFetch_) signatureFetch_->cancel();
}

bool AgentFetch::retryUnconditionally(const platform::DownloadError& error) {
  // A server or a proxy that refuses the stamp would refuse it on every
  // run: the archive is asked for once more, as if nothing were cached.
  if (!offeredStamp_ || !error.response || error.response->statusCode != 400) {
    return false;
  }
  offeredStamp_.reset();
  startRequest();
  return true;
}

void AgentFetch::startRequest() {
  platform::URLRequest request;
  request.url = url();
  request.timeoutInterval = 60.0;
  request.connection = connection_;
  if (offeredStamp_) {
    request.headerFields.emplace_back("If-None-Match", *offeredStamp_);
  }
  // What an earlier run kept of the archive from this URL is asked to be
  // continued.
  resumedFrom_.reset();
  if (partial_) {
    resumedFrom_ =
        partial_->resumePointFor(platform::withoutUserInfo(url()));
    request.resumeFrom = resumedFrom_;
  }
  request.bodyLimit = std::make_shared<ArchiveSpaceCheck>(
      archivePath_, getInstallAgentCacheDir(), offeredStamp_);
  theDownload_ = downloads_.startDownload(request, this, loop_);
  if (!theDownload_) return;
  theDownload_->setDeletesFileUponFailure(!partial_);
  theDownload_->setDestination(archivePath_, true);
}

void AgentFetch::downloadDidReceiveResponse(
    platform::WebDownload* download, const platform::URLResponse& response) {
  // A 304 says that the offered stamp is still the server's ETag; a 206
  // continues the kept bytes, whose ETag If-Range matched.
  const bool notModified = response.statusCode == 304;
  const std::int64_t kept =
      response.statusCode == 206 && resumedFrom_ ? resumedFrom_->offset : 0;
  validationString_ =
      notModified ? offeredStamp_ : response.valueForHeaderField("ETag");
  if (kept > 0 && !validationString_) validationString_ = resumedFrom_->etag;

  // A response without an ETag never validates the cache, so the agent is
  // fetched again rather than trusted. A stale agent stays until the new
  // archive has arrived: a download that fails leaves the cache as it was.
  const AgentCache::Outcome cached = cache_.startIfCurrent(
      validationString_, trustedKeys_,
      [this] { return observer_.agentMayStart(); });
  if (cached != AgentCache::Outcome::kNotCurrent) {
    observer_.fireInstallAgent(cached);
    // The archive is not wanted: a start has the fetch cancelled; after a
    // failed one only the transfer stops.
    if (!cancelled_) download->cancel();
    return;
  }
  if (notModified) {
    // No archive follows a 304, and the agent it vouched for was replaced
    // by another run since the request, or none was offered.
    download->cancel();
    downloadDidFailWithError(
        download, {"The server answered with HTTP status 304, and no cached "
                   "agent matches it.",
                   response.url});
    return;
  }

  const std::int64_t rest = response.expectedContentLength;
  const std::int64_t length = kept == 0 || rest < 0 ? rest : kept + rest;
  // An encoded body reaches the file decoded: its length is no offset into
  // what the server sends, and the body gets no record.
  if (partial_) {
    partial_->describe(
        platform::withoutUserInfo(url()),
        response.hasContentCoding() ? std::nullopt : validationString_,
        length);
  }
  // The archive's digest starts over with the body, the kept bytes first;
  // its signature comes meanwhile.
  if (signatureCheck_) {
    signatureCheck_->restart();
    if (kept > 0) signatureCheck_->archiveGrewBy(kept);
    fetchSignature();
  }
  observer_.downloadDidReceiveResponse(length, hostOf(response.url));
  if (kept > 0) observer_.downloadDidReceiveDataOfLength(kept);
  stall_.sawData();
}

void AgentFetch::downloadDidReceiveDataOfLength(platform::WebDownload*,
                                                std::uint64_t length) {
  if (signatureCheck_) signatureCheck_->archiveGrewBy(length);
  stall_.sawData();
  observer_.downloadDidReceiveDataOfLength(length);
}

void AgentFetch::downloadWillRetry(platform::WebDownload*,
                                   const platform::RetryNotice& notice) {
  stall_.stop();
  if (startOffline(notice.cause)) return;
  observer_.downloadWillRetry(notice);
}

bool AgentFetch::startOffline(const platform::DownloadError& cause) {
  // Once: a cache without such an agent has none a few seconds later.
  if (!cause.serverUnreachable || offlineTried_) return false;
  offlineTried_ = true;
  std::time_t downloadedAt = 0;
  const AgentCache::Outcome outcome = cache_.startOffline(
      trustedKeys_,
      [&] {
        observer_.downloadDidChangeStatus(
            "Cannot reach the server: starting the installer downloaded on " +
            dayOf(downloadedAt) + ".");
        logLine("Starting the cached installer offline! Error - " +
                cause.localizedDescription + " " +
                cause.failingURLString.value_or(
                    platform::withoutUserInfo(url())));
        return observer_.agentMayStart();
      },
      &downloadedAt);
  if (outcome == AgentCache::Outcome::kNotCurrent) return false;
  observer_.fireInstallAgent(outcome);
  // Whatever the start came to, the server is not asked again.
  if (!cancelled_ && theDownload_) theDownload_->cancel();
  return true;
}

void AgentFetch::downloadDidFailWithError(platform::WebDownload*,
                                          const platform::DownloadError& error) {
  stall_.stop();
  if (retryUnconditionally(error)) return;
  if (startOffline(error)) return;
  // The archive's failure is the server's: its signature is no longer
  // wanted.
  if (signatureFetch_) signatureFetch_->cancel();
  logLine("Download failed! Error - " + error.localizedDescription + " " +
          error.failingURLString.value_or("(null)"));
  if (tryNextServer(error)) return;
  // The advice reaches standard error once: where it is the error's own
  // sentence, that line carries it already.
  const std::string advice = failureAdvice(error);
  if (advice != error.localizedDescription) logLine(advice);
  observer_.downloadDidFailWithError(
      "Error during the download process.\nSee your system log for more "
      "information.",
      advice);
}

bool AgentFetch::tryNextServer(const platform::DownloadError& error) {
  // Another server may well be up, or hold the archive, when this one is
  // down, busy or without it; a refusal (another status, TLS, a bad URL) or
  // the disks' would be the same there.
  using platform::DownloadFailure;
  const long status = error.response ? error.response->statusCode : 0;
  const bool serversFault =
      error.failure == DownloadFailure::kCannotConnect ||
      error.failure == DownloadFailure::kConnectionLost ||
      error.failure == DownloadFailure::kTimedOut ||
      (error.failure == DownloadFailure::kHttpStatus &&
       (status >= 500 || status == 404));
  if (!serversFault || current_ + 1 >= urls_.size()) return false;
  ++current_;
  // The signature comes from the server the archive comes from.
  signatureFetch_.reset();
  signatureArrived_ = false;
  archiveComplete_ = false;
  validationString_.reset();
  observer_.downloadDidChangeStatus(
      "Trying another server (" + std::to_string(current_ + 1) + " of " +
      std::to_string(urls_.size()) + ")");
  startFromCurrentUrl();
  return true;
}

void AgentFetch::downloadDidFinish(platform::WebDownload*) {
  stall_.stop();
  if (!signatureCheck_) {
    handOff();
    return;
  }
  archiveComplete_ = true;
  // The signature may still be on its way, and the digest may still take
  // in the archive's last pieces.
  observer_.downloadIsCheckingSignature();
  if (signatureArrived_) checkSignatureAndInstall();
}

void AgentFetch::fetchSignature() {
  // A retry of the archive does not ask for the signature again.
  if (signatureFetch_) return;
  // The same time-out and CAs as the archive's.
  platform::URLRequest request;
  request.url = signatureURL();
  request.timeoutInterval = 60.0;
  request.connection = connection_;
  signatureFetch_ = std::make_unique<SignatureFetch>(
      downloads_, request, signatureLocation(), loop_,
      [this](const std::optional<platform::DownloadError>& failure) {
        signatureDidArrive(failure);
      });
}

void AgentFetch::signatureDidArrive(
    const std::optional<platform::DownloadError>& fetchFailure) {
  if (fetchFailure) {
    // Without a signature the archive is of no use: no need to wait for it.
    if (!archiveComplete_ && theDownload_) theDownload_->cancel();
    // As the download's own failures are logged: without a password.
    refuseSignature(fetchFailure->localizedDescription,
                    fetchFailure->failingURLString.value_or(
                        platform::withoutUserInfo(signatureURL())));
    return;
  }
  signatureArrived_ = true;
  if (archiveComplete_) checkSignatureAndInstall();
}

void AgentFetch::checkSignatureAndInstall() {
  std::string reason;
  if (signatureCheck_->verify(signatureLocation(), &reason)) {
    handOff();
    return;
  }
  refuseSignature(reason, platform::withoutUserInfo(signatureURL()));
}

void AgentFetch::refuseSignature(const std::string& reason,
                                 const std::string& url) {
  // Never the unsigned archive instead: it stays where it is, unpacked by
  // no one, and goes with the working directory.
  if (archiveComplete_) completeArchive();
  logLine("Signature check failed! Error - " + reason + " " + url);
  logLine(kSignatureAdvice);
  observer_.downloadDidFailWithError("The installer's signature is not valid.",
                                     kSignatureAdvice);
}

void AgentFetch::completeArchive() {
  if (!partial_) return;
  archivePath_ = partial_->complete(installAgentLocation_);
  partial_.reset();
}

void AgentFetch::handOff() {
  completeArchive();
  observer_.downloadDidFinish();
  // The cache unpacks and starts a program, which keeps the loop waiting:
  // not from inside the transfer's callback.
  handOff_ = loop_.performAfterDelay(0, [this] {
    handOff_.reset();
    installAndStart();
  });
}

void AgentFetch::installAndStart() {
  // A signed archive is unpacked from the file its check read.
  std::optional<AgentCache::Verification> verified;
  if (signatureCheck_) {
    verified = AgentCache::Verification{signatureCheck_->release(),
                                        signatureCheck_->archiveFd()};
  }
  observer_.fireInstallAgent(cache_.installAndStart(
      platform::withoutUserInfo(url()), archivePath_, verified,
      validationString_,
      [this] { return observer_.agentMayStart(); }));
}
