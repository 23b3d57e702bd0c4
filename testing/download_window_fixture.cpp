#include "testing/download_window_fixture.h"

#include "agent/install_agent_cache.h"
#include "agent/mkpath.h"
#include "agent/validation_stamp.h"
#include "base/constants.h"
#include "download/download_window.h"
#include "gtest/gtest.h"

FakeDownloadWindow::FakeDownloadWindow() {
  downloadTo = bundle.root() + "/InstallAgent.zip";
  downloadFrom = kUrl;
  // As the agent's sourcing does before it runs the window.
  mkpath(agentDir(), 0700);
  window = buildDownloadWindow(application, frontEnd);
}

platform::FakeDownloadRecord& FakeDownloadWindow::launch() {
  application.run();
  return download();
}

platform::FakeDownloadRecord& FakeDownloadWindow::download() {
  static platform::FakeDownloadRecord none;
  EXPECT_FALSE(downloads.started.empty()) << "no download was started";
  return downloads.started.empty() ? none : *downloads.started.back();
}

std::string FakeDownloadWindow::cacheDir() const {
  return getInstallAgentCacheDir();
}

std::string FakeDownloadWindow::agentDir() const {
  return cacheDir() + installAgentDirName;
}

void cacheAgent(const std::string& stamp) {
  const std::string agentDir = getInstallAgentCacheDir() + installAgentDirName;
  mkpath(agentDir, 0700);
  testing_env::writeFile(agentDir + "/install",
                         testing_env::kRecordingLauncher);
  writeValidationString(getInstallAgentCacheDir(), stamp);
}

bool FakeDownloadWindow::stopRequested() {
  loop.run(nullptr);
  return !loop.ranOutOfWork();
}

platform::URLResponse serverResponse(std::optional<std::string> etag,
                                     std::int64_t length) {
  platform::URLResponse response;
  response.statusCode = 200;
  response.url = FakeDownloadWindow::kUrl;
  response.expectedContentLength = length;
  if (etag) response.headerFields.emplace_back("ETag", *etag);
  return response;
}
