#include "testing/download_window_fixture.h"

#include "download/download_window.h"
#include "gtest/gtest.h"

FakeDownloadWindow::FakeDownloadWindow(
    std::optional<SigningKeys> signingKeys) {
  downloadTo = bundle.root() + "/InstallAgent.zip";
  downloadFrom = kUrl;
  downloadSigningKeys = std::move(signingKeys);
  window = buildDownloadWindow(application, frontEnd, downloads, {});
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
