#include "download/download.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "download/download_window.h"
#include "platform/os/file_manager.h"
#include "platform/os/main_bundle.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"
#include "ui/shown_window.h"

namespace {

// "Downloading " and the percentage, right-aligned in three places.
std::string downloadingText(double percent) {
  char number[32];
  std::snprintf(number, sizeof number, "%3.0f%%", percent);
  return std::string("Downloading ") + number;
}

}  // namespace

Download::~Download() { stopCountdown(); }

bool Download::init() {
  // The builder connects every outlet before it calls init; a controller
  // missing one could only crash later, so it refuses to start instead.
  if (progress_ == nullptr || image_ == nullptr || cancel_ == nullptr ||
      downloadPercent_ == nullptr || detail_ == nullptr ||
      window_ == nullptr || downloads_ == nullptr) {
    return false;
  }
  bytesReceived_ = 0;
  progress_->setDoubleValue(0.0);
  installAgentLocation_ = downloadTo;
  signingKeys_ = downloadSigningKeys;
  mirrors_ = downloadMirrors;
  cancel_->setKeyEquivalent("\r");
  return true;
}

void Download::applicationDidFinishLaunching() {
  const auto bundle =
      platform::Service<platform::MainBundle>::get().mainBundle();
  if (!bundle) return;

  // Without a splash file the image view keeps what the builder gave it.
  std::error_code ignored;
  if (bundle->resourcePath &&
      std::filesystem::exists(
          platform::appendPathComponent(*bundle->resourcePath, "splash.png"),
          ignored)) {
    std::shared_ptr<ui::Image> splash =
        ui::Image::imageNamed("splash");
    image_->setImageScaling(ui::ImageScaling::kProportionallyUpOrDown);
    if (splash) splash->setSize({400.0, 400.0});
    image_->setImage(std::move(splash));
    window_->displayIfNeeded();
  }
  downloadFromURL(downloadFrom);
}

void Download::windowWillClose(ui::Window*) {
  stopCountdown();
  if (theDownload_) theDownload_->cancel();
  ui::Application::shared()->stop();
}

void Download::downloadFromURL(const std::string& url) {
  std::vector<std::string> urls = {url};
  urls.insert(urls.end(), mirrors_.begin(), mirrors_.end());
  theDownload_ = std::make_unique<AgentFetch>(
      platform::Service<AgentCache>::get(), *downloads_,
      ui::Application::shared()->loop(), installAgentLocation_, std::move(urls),
      connection_, signingKeys_, *this);
  theDownload_->start();
}

void Download::downloadDidReceiveResponse(std::int64_t length,
                                          const std::string& host) {
  stopCountdown();
  fileLength_ = length;
  // After a retry that could not resume, the body starts over.
  bytesReceived_ = 0;
  progress_->setDoubleValue(0.0);
  transfer_.start(length, host);
  detail_->setStringValue(transfer_.text());
  if (fileLength_ == -1) {
    progress_->setIndeterminate(true);
    downloadPercent_->setStringValue("Downloading");
  } else {
    progress_->setMaxValue(static_cast<double>(fileLength_));
    progress_->setIndeterminate(false);
    downloadPercent_->setStringValue(downloadingText(0.0));
  }
  progress_->startAnimation();
}

void Download::downloadDidReceiveDataOfLength(std::uint64_t length) {
  stopCountdown();
  bytesReceived_ += static_cast<std::int64_t>(length);
  transfer_.add(length);
  detail_->setStringValue(transfer_.text());
  if (fileLength_ == -1) {
    downloadPercent_->setStringValue("Downloading");
    return;
  }

  downloadPercent_->setStringValue(
      downloadingText(static_cast<double>(bytesReceived_) * 100.0 /
                      static_cast<double>(fileLength_)));
  progress_->incrementBy(static_cast<double>(length));
  // Redraw per block rather than at the loop's next display pass.
  progress_->displayIfNeeded();
}

void Download::downloadIsStalled(int seconds) {
  downloadPercent_->setStringValue("No data from the server for " +
                                   std::to_string(seconds) + " s");
  window_->displayIfNeeded();
}

void Download::downloadWillRetry(const platform::RetryNotice& notice) {
  transfer_.pause();
  retryReason_ = notice.reason;
  retryEnds_ = ui::Application::shared()->loop().now() + notice.seconds;
  detail_->setStringValue(transfer_.retryText(notice.attempt + 1));
  showCountdown();
}

void Download::showCountdown() {
  stopCountdown();
  platform::EventLoop& loop = ui::Application::shared()->loop();
  const double left = retryEnds_ - loop.now();
  // A tick lands on a whole second, give or take the clock's rounding.
  const long seconds = std::max(0L, std::lround(std::ceil(left - 1e-6)));
  downloadPercent_->setStringValue(retryReason_ + ". Retrying in " +
                                   std::to_string(seconds) + " s");
  window_->displayIfNeeded();
  if (seconds <= 1) return;
  countdown_ = loop.performAfterDelay(left - static_cast<double>(seconds - 1),
                                      [this] {
                                        countdown_.reset();
                                        showCountdown();
                                      });
}

void Download::stopCountdown() {
  if (!countdown_) return;
  if (ui::Application* application = ui::Application::shared()) {
    application->loop().cancelDelayed(*countdown_);
  }
  countdown_.reset();
}

void Download::downloadDidChangeStatus(const std::string& status) {
  // What the line said of a transfer or a retry is over.
  stopCountdown();
  detail_->setStringValue("");
  downloadPercent_->setStringValue(status);
  window_->displayIfNeeded();
}

void Download::downloadIsCheckingSignature() {
  showWorking("Checking the installer's signature", true);
}

void Download::downloadDidFinish() {
  showWorking("Initializing the installer", false);
}

void Download::downloadDidFailWithError(const std::string& message,
                                        const std::string& advice) {
  showFailure(message, ui::Color::kRed);
  detail_->setStringValue(advice);
  window_->setSummary("failed: " + advice);
}

void Download::failure(const std::string& message, ui::Color color) {
  showFailure(message, color);
  if (color == ui::Color::kRed) {
    std::string line = message;
    std::replace(line.begin(), line.end(), '\n', ' ');
    platform::Service<platform::SystemLog>::get().log(line);
    window_->setSummary("failed: " + line);
  }
}

void Download::showFailure(const std::string& message, ui::Color color) {
  stopCountdown();
  detail_->setStringValue("");
  progress_->stopAnimation();
  progress_->setIndeterminate(false);
  progress_->setDoubleValue(progress_->maxValue());
  downloadPercent_->setStringValue(message);
  downloadPercent_->setTextColor(color);
  // Disabled while the installer was being prepared: whatever failed, the
  // user ends the run with it, as with the close box.
  cancel_->setEnabled(true);
}

void Download::showWorking(const std::string& status, bool cancellable) {
  stopCountdown();
  downloadPercent_->setStringValue(status);
  detail_->setStringValue("");
  progress_->setIndeterminate(true);
  progress_->startAnimation();
  cancel_->setEnabled(cancellable);
  window_->displayIfNeeded();
}

bool Download::agentMayStart() {
  // The loop delivers a signal only once the cache lets go of it.
  if (!window_->isVisible() ||
      ui::closingSignalPending(ui::Application::shared()->loop())) {
    return false;
  }
  // The agent may open windows of its own: this one leaves the screen right
  // before the agent starts.
  window_->setSummary("installer started");
  window_->orderOut();
  return true;
}

void Download::fireInstallAgent(AgentCache::Outcome outcome) {
  switch (outcome) {
    case AgentCache::Outcome::kStarted:
      // The run's status tells the caller that the agent is running and that
      // nothing more is to be started. The window's work is done, and
      // closing it ends the run.
      ui::Application::shared()->setTerminationStatus(1);
      window_->close();
      return;
    case AgentCache::Outcome::kCalledOff:
      return;  // closed, or about to be: the run ends without an agent
    case AgentCache::Outcome::kUnpackFailed:
      failure("Failed to unzip the installer.", ui::Color::kRed);
      break;
    case AgentCache::Outcome::kNotCurrent:
    case AgentCache::Outcome::kIncomplete:
      failure("The installer is incomplete.", ui::Color::kRed);
      break;
    case AgentCache::Outcome::kNotStarted:
      failure("The installer could not be started.", ui::Color::kRed);
      break;
    case AgentCache::Outcome::kRolledBack:
      failure("The installer on the server is older than the one already "
              "installed.",
              ui::Color::kRed);
      break;
  }
  // Off the screen for a start that failed, the window comes back to say
  // why.
  window_->orderFront();
}
