#include "download/download.h"
#include "platform/os/service.h"

void Download::downloadDidFinish(platform::WebDownload*) {
  if (signatureCheck_) {
    fetchSignature();
    return;
  }
  installDownloadedAgent();
}

void Download::installDownloadedAgent() {
  downloadPercent_->setStringValue("Initializing the installer");
  progress_->setIndeterminate(true);
  progress_->startAnimation(this);
  cancel_->setEnabled(false);
  window_->displayIfNeeded();

  // Once the agent runs, the window's work is done; it closed right
  // before the start, and closing it ends the run.
  fireInstallAgent(platform::Service<AgentCache>::get().installAndStart(
      installAgentLocation_, validationString_,
      [this] { return closeWindowForStart(); }));
}

bool Download::fireInstallAgent(AgentCache::Outcome outcome) {
  switch (outcome) {
    case AgentCache::Outcome::kStarted:
      // The run's status tells the caller that the agent is running and that
      // nothing more is to be started.
      platform::Application::shared()->setTerminationStatus(1);
      return true;
    case AgentCache::Outcome::kUnpackFailed:
      failure("Failed to unzip the installer.", platform::Color::kRed);
      return false;
    case AgentCache::Outcome::kNotCurrent:
    case AgentCache::Outcome::kIncomplete:
      failure("The installer is incomplete.", platform::Color::kRed);
      return false;
    case AgentCache::Outcome::kNotStarted:
      failure("The installer could not be started.", platform::Color::kRed);
      return false;
    case AgentCache::Outcome::kCalledOff:
      return false;  // the window closed: the run ends without an agent
  }
  return false;
}

bool Download::closeWindowForStart() {
  // A close or a signal that came meanwhile (during the unpack, or while
  // waiting for the cache lock) calls the start off.
  platform::Application::shared()->loop().runPendingSignals();
  if (!window_->isVisible()) return false;
  window_->close();
  return true;
}
