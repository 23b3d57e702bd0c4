#include "download/download.h"
#include "platform/net/url_user_info.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"

void Download::fetchSignature() {
  downloadPercent_->setStringValue("Checking the installer's signature");
  progress_->setIndeterminate(true);
  progress_->startAnimation(this);
  window_->displayIfNeeded();

  // The same time-out as the archive's; TLS and proxy come from the factory.
  platform::URLRequest request;
  request.url = signatureURL();
  request.timeoutInterval = 60.0;
  signatureFetch_ = std::make_unique<SignatureFetch>(
      request, signatureLocation(), platform::Application::shared()->loop(),
      [this](const std::optional<platform::DownloadError>& failure) {
        signatureDidArrive(failure);
      });
}

void Download::signatureDidArrive(
    const std::optional<platform::DownloadError>& fetchFailure) {
  std::string reason;
  // As the download's own failures are logged: without a password.
  std::string url = platform::withoutUserInfo(signatureURL());
  if (fetchFailure) {
    reason = fetchFailure->localizedDescription;
    url = fetchFailure->failingURLString.value_or(url);
  } else if (signatureCheck_->verify(signatureLocation(), &reason)) {
    installDownloadedAgent();
    return;
  }
  // Never the unsigned archive instead: it stays where it is, unpacked by
  // no one, and goes with the working directory.
  platform::Service<platform::SystemLog>::get().log(
      "Signature check failed! Error - " + reason + " " + url);
  // The log has put the failure on standard error already.
  showFailure("The installer's signature is not valid.",
              platform::Color::kRed);
}
