#include <string>
#include <vector>

#include "agent/agent_launch.h"
#include "agent/bundle_paths.h"
#include "agent/cache_lock.h"
#include "agent/install_agent_cache.h"
#include "agent/staged_agent.h"
#include "base/error_reporter.h"
#include "download/download.h"
#include "platform/os/file_manager.h"
#include "platform/os/process_info.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"
#include "platform/os/task_launcher.h"

void Download::waitForInstallAgentToStart() { window_->close(); }

void Download::failUnpacking(const StagedAgent& staged) {
  // The unzip tool reports its own failure; the cache's is logged here.
  if (!staged.error().empty()) {
    platform::Service<platform::SystemLog>::get().log(staged.error());
  }
  failure("Failed to unzip the installer.", platform::Color::kRed);
}

void Download::downloadDidFinish(platform::WebDownload*) {
  downloadPercent_->setStringValue("Initializing the installer");
  progress_->setIndeterminate(true);
  progress_->startAnimation(this);
  cancel_->setEnabled(false);
  window_->displayIfNeeded();

  // Unpacked beside the agent directory and renamed into place, so that no
  // run sees or starts a partly unpacked agent, and a failure leaves the
  // cache as it was.
  const std::string cacheDir = getInstallAgentCacheDir();
  StagedAgent staged(cacheDir);
  if (staged.path().empty() ||
      !unzipInstallAgent(installAgentLocation_, staged.path(), "unzip",
                         report_error_main)) {
    failUnpacking(staged);
    return;
  }
  if (!hasInstallAgentExecutable(staged.path())) {
    failure("The installer is incomplete.", platform::Color::kRed);
    return;
  }

  const CacheLock lock(cacheDir);
  // A run that finished first may have installed the same ETag already; its
  // agent may be starting, so it stays.
  if (!cacheHoldsCurrentAgent() &&
      !staged.install(validationString_.value_or(""))) {
    failUnpacking(staged);
    return;
  }
  // The agent may open windows of its own: this one leaves the screen
  // before the agent starts, and comes back if it does not.
  window_->orderOut();
  if (!fireInstallAgent()) {
    window_->orderFront();
    return;
  }

  platform::Application* application = platform::Application::shared();
  application->performAfterDelay(3.0, [this] { waitForInstallAgentToStart(); });
  application->stop(this);
}

bool Download::fireInstallAgent() {
  const std::string agentDir = installAgentDirOnDisk();
  if (agentDir.empty()) {
    failure("The installer is incomplete.", platform::Color::kRed);
    return false;
  }
  installAgentLocation_ = agentDir;

  std::vector<std::string> arguments = {
      getInstallAgentExecutable(installAgentLocation_), "-installbundle",
      platform::appendPathComponent(getBundleLocation(), "bundle.zip")};
  const std::vector<std::string> own =
      platform::Service<platform::ProcessInfo>::get().arguments();
  if (own.size() > 1) {
    arguments.insert(arguments.end(), own.begin() + 1, own.end());
  }

  if (!platform::Service<platform::TaskLauncher>::get().launch("/bin/sh",
                                                               arguments)) {
    failure("The installer could not be started.", platform::Color::kRed);
    return false;
  }
  // The run's status tells the caller that the agent is running and that
  // nothing more is to be started.
  platform::Application::shared()->setTerminationStatus(1);
  return true;
}
