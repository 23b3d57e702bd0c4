#include <string>
#include <vector>

#include "agent/agent_launch.h"
#include "agent/bundle_paths.h"
#include "agent/install_agent_cache.h"
#include "agent/mkpath.h"
#include "agent/validation_stamp.h"
#include "bootstrap/constants.h"
#include "bootstrap/error_reporter.h"
#include "download/download.h"
#include "platform/file_manager.h"
#include "platform/process_info.h"
#include "platform/service.h"
#include "platform/task.h"

void Download::waitForInstallAgentToStart() { window_->close(); }

void Download::downloadDidFinish(platform::WebDownload*) {
  downloadPercent_->setStringValue("Initializing the installer");
  progress_->setIndeterminate(true);
  progress_->startAnimation(this);
  cancel_->setEnabled(false);
  window_->displayIfNeeded();

  const std::string cacheDir = getInstallAgentCacheDir();
  const std::string agentDir = cacheDir + installAgentDirName;
  // The stale agent, kept while the download could still fail, goes before
  // the new stamp is stored, and none of its files mix with the new ones.
  // The directory stays private to the user, as the sourcing made it.
  platform::FileManager& files = platform::Service<platform::FileManager>::get();
  files.removeItemAtPath(agentDir);
  mkpath(agentDir, 0700);
  writeValidationString(cacheDir, validationString_.value_or(""));
  if (!unzipInstallAgent(installAgentLocation_, agentDir, "unzip",
                         report_error_main)) {
    // The stamp is already stored, so a launcher that a broken archive left
    // behind would pass for a valid agent on the next run.
    files.removeItemAtPath(agentDir);
    failure("Failed to unzip the installer.", platform::Color::kRed);
    return;
  }
  if (!fireInstallAgent()) return;

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
