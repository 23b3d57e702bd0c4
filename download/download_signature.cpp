#include "download/download.h"
#include "platform/net/url_user_info.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"

void Download::fetchSignature() {
  // A retry of the archive does not ask for the signature again.
  if (signatureFetch_) return;
  // The same time-out and CAs as the archive's; the rest of TLS and the
  // proxy come from the factory.
  platform::URLRequest request;
  request.url = signatureURL();
  request.timeoutInterval = 60.0;
  request.trustedCAFile = trustedCAFile_;
  signatureFetch_ = std::make_unique<SignatureFetch>(
      *downloads_, request, signatureLocation(),
      ui::Application::shared()->loop(),
      [this](const std::optional<platform::DownloadError>& failure) {
        signatureDidArrive(failure);
      });
}

void Download::signatureDidArrive(
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

void Download::checkSignatureAndInstall() {
  std::string reason;
  if (signatureCheck_->verify(signatureLocation(), &reason)) {
    installDownloadedAgent();
    return;
  }
  refuseSignature(reason, platform::withoutUserInfo(signatureURL()));
}

void Download::refuseSignature(const std::string& reason,
                               const std::string& url) {
  // Never the unsigned archive instead: it stays where it is, unpacked by
  // no one, and goes with the working directory.
  platform::Service<platform::SystemLog>::get().log(
      "Signature check failed! Error - " + reason + " " + url);
  // The log has put the failure on standard error already.
  showFailure("The installer's signature is not valid.",
              ui::Color::kRed);
}
