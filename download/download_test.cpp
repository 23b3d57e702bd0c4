#include "download/download.h"

#include "download/archive_space_check.h"
#include "testing/download_window_fixture.h"
#include "gtest/gtest.h"
#include "testing/fake_web_download.h"

namespace {

TEST(DownloadTest, InitPreparesTheConnectedOutletsAndRefusesMissingOnes) {
  FakeDownloadWindow w;
  ASSERT_NE(w.window, nullptr);
  EXPECT_EQ(w.window->progress.doubleValue(), 0.0);
  EXPECT_EQ(w.window->cancel.keyEquivalent(), "\r");
  EXPECT_EQ(w.controller().installAgentLocation(),
            w.bundle.root() + "/InstallAgent.zip");
  EXPECT_EQ(w.controller().bytesReceived(), 0);

  // Without its outlets a controller has nothing to work on.
  Download bare;
  EXPECT_FALSE(bare.init());
}

TEST(DownloadTest, LaunchShowsTheSplashAndStartsTheDownload) {
  // Given a splash image among the bundle's resources, launching shows it
  // scaled into the image view and starts the download of downloadFrom.
  FakeDownloadWindow w;
  testing_env::writeFile(w.bundle.resources() + "/splash.png", "png");
  const platform::FakeDownloadRecord& download = w.launch();

  const std::shared_ptr<ui::Image>& splash = w.window->image.image();
  ASSERT_NE(splash, nullptr);
  EXPECT_EQ(splash->path(), w.bundle.resources() + "/splash.png");
  EXPECT_EQ(splash->size().width, 400.0);
  EXPECT_EQ(splash->size().height, 400.0);
  EXPECT_EQ(w.window->image.imageScaling(),
            ui::ImageScaling::kProportionallyUpOrDown);

  EXPECT_EQ(w.downloads.started.size(), 1u);
  EXPECT_EQ(download.request.url, FakeDownloadWindow::kUrl);
  EXPECT_EQ(download.request.timeoutInterval, 60.0);
  EXPECT_TRUE(download.request.headerFields.empty());
  EXPECT_NE(dynamic_cast<ArchiveSpaceCheck*>(download.request.bodyLimit.get()),
            nullptr);
  EXPECT_EQ(download.delegate, &w.controller());
  EXPECT_EQ(w.controller().theDownload(), download.download);
  EXPECT_TRUE(download.deletesFileUponFailure);
  EXPECT_EQ(download.destination, w.bundle.root() + "/InstallAgent.zip");
  EXPECT_TRUE(download.allowOverwrite);
}

TEST(DownloadTest, LaunchWithoutASplashLeavesTheImageViewAlone) {
  FakeDownloadWindow w;
  w.application.run();

  EXPECT_EQ(w.window->image.image(), nullptr);
  EXPECT_EQ(w.window->image.imageScaling(),
            ui::ImageScaling::kProportionallyDown);
  EXPECT_EQ(w.downloads.started.size(), 1u);
}

TEST(DownloadTest, LaunchWithoutAMainBundleStartsNothing) {
  FakeDownloadWindow w;
  platform::FakeMainBundle noBundle;
  platform::ScopedService<platform::MainBundle> service(&noBundle);
  w.application.run();

  EXPECT_TRUE(w.downloads.started.empty());
  EXPECT_TRUE(w.window->window.isVisible());
}

TEST(DownloadTest, ClosingTheWindowCancelsTheDownloadAndEndsTheRun) {
  // The cancel button closes the window, whatever state the download is in:
  // waiting for the server, halfway through, or already failed.
  for (const std::string stage : {"waiting", "halfway", "failed"}) {
    SCOPED_TRACE(stage);
    FakeDownloadWindow w;
    platform::FakeDownloadRecord& download = w.launch();
    EXPECT_FALSE(w.stopRequested());
    if (stage != "waiting") {
      download.respond(serverResponse("\"v1\"", 100));
      download.receive(50);
    }
    if (stage == "failed") {
      download.fail(
          {"The network connection was lost.", FakeDownloadWindow::kUrl});
    }

    w.window->cancel.performClick();
    EXPECT_FALSE(w.window->window.isVisible());
    EXPECT_EQ(w.frontEnd.closed, 1);
    EXPECT_EQ(download.cancelCalls, 1);
    EXPECT_TRUE(w.stopRequested());
    EXPECT_FALSE(download.receive(50)) << "a cancelled download stays quiet";
  }
}

}  // namespace
