#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/error_reporter.h"
#include "download/download.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"

namespace {

// "Downloading " and the percentage, right-aligned in three places.
std::string downloadingText(double percent) {
  char number[32];
  std::snprintf(number, sizeof number, "%3.0f%%", percent);
  return std::string("Downloading ") + number;
}

}  // namespace

void Download::downloadDidReceiveResponse(
    platform::WebDownload* download, const platform::URLResponse& response) {
  // A 304 says that the offered stamp is still the server's ETag.
  const bool notModified = response.statusCode == 304;
  validationString_ =
      notModified ? offeredStamp_ : response.valueForHeaderField("ETag");
  fileLength_ = response.expectedContentLength;

  // A response without an ETag never validates the cache, so the agent is
  // fetched again rather than trusted. A stale agent stays until the new
  // archive has arrived: a download that fails leaves the cache as it was.
  const AgentCache::Outcome cached =
      platform::Service<AgentCache>::get().startIfCurrent(
          validationString_, requiredKey_,
          [this] { return hideWindowForStart(); });
  if (cached != AgentCache::Outcome::kNotCurrent) {
    // The archive is not wanted: a start closes the window, which cancels
    // the download; after a failed one the window stays to say why.
    if (!fireInstallAgent(cached)) download->cancel();
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

  // After a retry that could not resume, the body starts over.
  bytesReceived_ = 0;
  progress_->setDoubleValue(0.0);

  // The archive's digest starts over with the body; its signature comes
  // meanwhile.
  if (signatureCheck_) {
    signatureCheck_->restart();
    fetchSignature();
  }

  if (fileLength_ == -1) {
    progress_->setIndeterminate(true);
  } else {
    progress_->setMaxValue(static_cast<double>(fileLength_));
    progress_->setIndeterminate(false);
    downloadPercent_->setStringValue(downloadingText(0.0));
  }
  progress_->startAnimation(this);
}

void Download::downloadDidReceiveDataOfLength(platform::WebDownload*,
                                              std::uint64_t length) {
  bytesReceived_ += static_cast<std::int64_t>(length);
  if (signatureCheck_) signatureCheck_->archiveGrewBy(length);
  if (fileLength_ == -1) return;

  downloadPercent_->setStringValue(
      downloadingText(static_cast<double>(bytesReceived_) * 100.0 /
                      static_cast<double>(fileLength_)));
  progress_->incrementBy(static_cast<double>(length));
  // Redraw per block rather than at the loop's next display pass.
  progress_->displayIfNeeded();
}

void Download::downloadWillRetry(platform::WebDownload*,
                                 const platform::RetryNotice& notice) {
  const long seconds = std::lround(std::ceil(notice.seconds));
  downloadPercent_->setStringValue(notice.reason + ". Retrying in " +
                                   std::to_string(seconds) + " s");
  window_->displayIfNeeded();
}

void Download::failure(const std::string& message, ui::Color color) {
  showFailure(message, color);
  if (color == ui::Color::kRed) {
    std::string line = message;
    std::replace(line.begin(), line.end(), '\n', ' ');
    report_error_main(line, true);
  }
}

void Download::showFailure(const std::string& message, ui::Color color) {
  progress_->stopAnimation(this);
  progress_->setIndeterminate(false);
  progress_->setDoubleValue(progress_->maxValue());
  downloadPercent_->setStringValue(message);
  downloadPercent_->setTextColor(color);
}

void Download::downloadDidFailWithError(platform::WebDownload*,
                                        const platform::DownloadError& error) {
  if (retryUnconditionally(error)) return;
  // The archive's failure is the run's: its signature is no longer wanted.
  if (signatureFetch_) signatureFetch_->cancel();
  platform::Service<platform::SystemLog>::get().log(
      "Download failed! Error - " + error.localizedDescription + " " +
      error.failingURLString.value_or("(null)"));
  // The log has put the failure on standard error already.
  showFailure(
      "Error during the download process.\nSee your system log for more "
      "information.",
      ui::Color::kRed);
}
