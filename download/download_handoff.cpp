#include "download/download.h"
#include "platform/os/service.h"

void Download::downloadDidFinish(platform::WebDownload*) {
  if (!signatureCheck_) {
    installDownloadedAgent();
    return;
  }
  archiveComplete_ = true;
  // The signature may still be on its way, and the digest may still take
  // in the archive's last pieces.
  showWorking("Checking the installer's signature", true);
  if (signatureArrived_) checkSignatureAndInstall();
}

void Download::showWorking(const std::string& status, bool cancellable) {
  downloadPercent_->setStringValue(status);
  progress_->setIndeterminate(true);
  progress_->startAnimation(this);
  cancel_->setEnabled(cancellable);
  window_->displayIfNeeded();
}

void Download::installDownloadedAgent() {
  showWorking("Initializing the installer", false);

  // A signed archive is unpacked from the file its check read.
  std::optional<AgentCache::Verification> verified;
  if (signatureCheck_) {
    verified =
        AgentCache::Verification{*requiredKey_, signatureCheck_->archiveFd()};
  }
  // The agent may open windows of its own: this one leaves the screen right
  // before the agent starts.
  fireInstallAgent(platform::Service<AgentCache>::get().installAndStart(
      installAgentLocation_, verified, validationString_,
      [this] { return hideWindowForStart(); }));
}

bool Download::fireInstallAgent(AgentCache::Outcome outcome) {
  switch (outcome) {
    case AgentCache::Outcome::kStarted:
      // The run's status tells the caller that the agent is running and that
      // nothing more is to be started. The window's work is done, and
      // closing it ends the run.
      ui::Application::shared()->setTerminationStatus(1);
      window_->close();
      return true;
    case AgentCache::Outcome::kCalledOff:
      return false;  // the window closed: the run ends without an agent
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
  }
  // Off the screen for a start that failed, the window comes back to say
  // why.
  window_->orderFront();
  return false;
}

bool Download::hideWindowForStart() {
  // A close or a signal that came meanwhile (during the unpack, or while
  // waiting for the cache lock) calls the start off.
  ui::Application::shared()->loop().runPendingSignals();
  if (!window_->isVisible()) return false;
  window_->orderOut();
  return true;
}
