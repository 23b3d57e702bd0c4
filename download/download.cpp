#include "download/download.h"

#include <filesystem>

#include "agent/install_agent_cache.h"
#include "download/archive_space_check.h"
#include "download/download_window.h"
#include "platform/os/file_manager.h"
#include "platform/os/main_bundle.h"
#include "platform/os/service.h"

bool Download::init() {
  // The builder connects every outlet before it calls init; a controller
  // missing one could only crash later, so it refuses to start instead.
  if (progress_ == nullptr || image_ == nullptr || cancel_ == nullptr ||
      downloadPercent_ == nullptr || window_ == nullptr ||
      downloads_ == nullptr) {
    return false;
  }
  bytesReceived_ = 0;
  progress_->setDoubleValue(0.0);
  installAgentLocation_ = downloadTo;
  if (downloadSigningKey) {
    signatureCheck_.emplace(*downloadSigningKey, installAgentLocation_);
    requiredKey_ = downloadSigningKey->keyId;
  }
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
  if (theDownload_) theDownload_->cancel();
  if (signatureFetch_) signatureFetch_->cancel();
  ui::Application::shared()->stop(this);
}

void Download::downloadFromURL(const std::string& url) {
  requestedURL_ = url;
  // Offering the cached agent's stamp lets the server answer a still-current
  // agent with a 304 instead of sending the archive again.
  offeredStamp_ =
      platform::Service<AgentCache>::get().offeredStamp(requiredKey_);
  startRequest();
}

bool Download::retryUnconditionally(const platform::DownloadError& error) {
  // A server or a proxy that refuses the stamp would refuse it on every
  // run: the archive is asked for once more, as if nothing were cached.
  if (!offeredStamp_ || !error.response || error.response->statusCode != 400) {
    return false;
  }
  offeredStamp_.reset();
  startRequest();
  return true;
}

void Download::startRequest() {
  platform::URLRequest request;
  request.url = requestedURL_;
  request.timeoutInterval = 60.0;
  request.trustedCAFile = trustedCAFile_;
  if (offeredStamp_) {
    request.headerFields.emplace_back("If-None-Match", *offeredStamp_);
  }
  request.bodyLimit = std::make_shared<ArchiveSpaceCheck>(
      installAgentLocation_, getInstallAgentCacheDir(), offeredStamp_);
  theDownload_ = downloads_->startDownload(request, this,
                                           ui::Application::shared()->loop());
  if (!theDownload_) return;
  theDownload_->setDeletesFileUponFailure(true);
  theDownload_->setDestination(installAgentLocation_, true);
}
