#include "download/download.h"

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/download_window_fixture.h"
#include "testing/fake_web_download.h"

namespace {

using Outcome = AgentCache::Outcome;

// Has the server answer with "etag" and send the whole archive.
void serveArchive(FakeDownloadWindow& w, std::optional<std::string> etag) {
  w.downloads.script = [etag](platform::FakeDownloadRecord& download) {
    download.respond(serverResponse(etag, 100));
    download.receive(100);
    download.finish();
  };
}

TEST(DownloadTest, InitPreparesTheConnectedOutletsAndRefusesMissingOnes) {
  FakeDownloadWindow w;
  ASSERT_NE(w.window, nullptr);
  EXPECT_EQ(w.window->progress.doubleValue(), 0.0);
  EXPECT_EQ(w.window->cancel.keyEquivalent(), "\r");
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
  EXPECT_EQ(download.destination, w.bundle.root() + "/InstallAgent.zip");
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


TEST(DownloadTest, AnnouncedLengthShowsPercentagesDrawnPerBlock) {
  // Given a server that announces 1000 bytes and sends them in four blocks,
  // each block is shown at once, without waiting for the loop.
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();

  download.respond(serverResponse("\"v1\"", 1000));
  EXPECT_EQ(w.window->status.stringValue(), "Downloading   0%");
  EXPECT_EQ(w.window->progress.maxValue(), 1000.0);
  EXPECT_FALSE(w.window->progress.isIndeterminate());
  EXPECT_TRUE(w.window->progress.isAnimating());

  std::vector<std::string> drawn;
  for (int block = 0; block < 4; ++block) {
    download.receive(250);
    drawn.push_back(w.frontEnd.lastDrawing().status);
  }
  EXPECT_EQ(drawn,
            (std::vector<std::string>{"Downloading  25%", "Downloading  50%",
                                      "Downloading  75%", "Downloading 100%"}));
  EXPECT_EQ(w.frontEnd.lastDrawing().value, 1000.0);
  EXPECT_EQ(w.frontEnd.lastDrawing().maxValue, 1000.0);
  EXPECT_EQ(w.controller().bytesReceived(), 1000);
}

TEST(DownloadTest, PercentagesRoundAndGoPastTheAnnouncedLength) {
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();

  download.respond(serverResponse("\"v1\"", 3));
  download.receive(2);
  EXPECT_EQ(w.window->status.stringValue(), "Downloading  67%");
  download.receive(1);
  EXPECT_EQ(w.window->status.stringValue(), "Downloading 100%");

  // A server that sends more than it announced.
  FakeDownloadWindow more;
  platform::FakeDownloadRecord& overlong = more.launch();
  overlong.respond(serverResponse("\"v1\"", 100));
  overlong.receive(107);
  EXPECT_EQ(more.window->status.stringValue(), "Downloading 107%");
}

TEST(DownloadTest, NoAnnouncedLengthAnimatesAndOnlyCounts) {
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();

  download.respond(serverResponse("\"v1\"", -1));
  download.receive(500);
  download.receive(500);
  EXPECT_TRUE(w.window->progress.isIndeterminate());
  EXPECT_TRUE(w.window->progress.isAnimating());
  EXPECT_EQ(w.window->progress.doubleValue(), 0.0);
  EXPECT_EQ(w.window->status.stringValue(), "Downloading");
  EXPECT_EQ(w.window->detail.stringValue(), "1.0 kB \u00b7 from 127.0.0.1");
  EXPECT_EQ(w.controller().bytesReceived(), 1000);
  EXPECT_EQ(w.controller().fileLength(), -1);
}

TEST(DownloadTest, RetriesKeepTheBarAndAnewResponseStartsOver) {
  // Given a download cut at a quarter, the pause keeps the bar and says why
  // in the usual colour; resumed data goes on from there.
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();

  download.respond(serverResponse("\"v1\"", 1000));
  download.receive(250);
  w.controller().downloadWillRetry({3.6, "Connection lost", 2, {}});
  EXPECT_EQ(w.window->status.stringValue(), "Connection lost. Retrying in 4 s");
  EXPECT_EQ(w.window->detail.stringValue(),
            "Attempt 3 \u00b7 0.2 of 1.0 kB \u00b7 from 127.0.0.1");
  EXPECT_EQ(w.window->status.textColor(), ui::Color::kControlText);
  EXPECT_EQ(w.window->progress.doubleValue(), 250.0);
  // The countdown ticks on each whole second, down to one.
  std::vector<std::string> countdown;
  for (const double step : {0.7, 1.0, 1.0, 1.0}) {
    w.loop.advance(step);
    countdown.push_back(w.frontEnd.lastDrawing().status);
  }
  EXPECT_EQ(countdown, (std::vector<std::string>{
                           "Connection lost. Retrying in 3 s",
                           "Connection lost. Retrying in 2 s",
                           "Connection lost. Retrying in 1 s",
                           "Connection lost. Retrying in 1 s"}));
  download.receive(250);
  EXPECT_EQ(w.window->status.stringValue(), "Downloading  50%");

  // A new response is a body from byte zero: the count starts over.
  download.respond(serverResponse("\"v2\"", 2000));
  EXPECT_EQ(w.window->progress.maxValue(), 2000.0);
  EXPECT_EQ(w.window->progress.doubleValue(), 0.0);
  download.receive(500);
  EXPECT_EQ(w.window->status.stringValue(), "Downloading  25%");
  EXPECT_EQ(w.controller().bytesReceived(), 500);
}

TEST(DownloadTest, AFailureIsLoggedAndShownInRedUntilTheWindowCloses) {
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();
  download.respond(serverResponse("\"v1\"", 1000));
  download.receive(250);

  download.fail({"The request timed out.", FakeDownloadWindow::kUrl,
                 platform::DownloadFailure::kTimedOut});
  EXPECT_EQ(w.log.lines, (std::vector<std::string>{
                             std::string("Download failed! Error - The request "
                                         "timed out. ") +
                                 FakeDownloadWindow::kUrl,
                             "Check the internet connection."}));
  EXPECT_EQ(w.window->status.stringValue(),
            "Error during the download process.\nSee your system log for more "
            "information.");
  EXPECT_EQ(w.window->status.textColor(), ui::Color::kRed);
  EXPECT_EQ(w.window->detail.stringValue(), "Check the internet connection.")
      << "on standard error too, through the log";
  EXPECT_FALSE(w.window->progress.isAnimating());
  EXPECT_FALSE(w.window->progress.isIndeterminate());
  EXPECT_EQ(w.window->progress.doubleValue(), 1000.0);
  EXPECT_TRUE(w.window->cancel.isEnabled());
  EXPECT_TRUE(w.window->window.isVisible());
  EXPECT_FALSE(w.stopRequested());
  EXPECT_TRUE(w.cache.installs.empty());
}

TEST(DownloadTest, AFailureBeforeAnyResponseFillsTheBar) {
  // Refused before the server answered, with no URL in the error, while the
  // bar still spins for an unknown length.
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();
  w.window->progress.setIndeterminate(true);
  w.window->progress.startAnimation();

  platform::URLResponse missing;
  missing.statusCode = 404;
  download.fail({"The server answered with HTTP status 404.", std::nullopt,
                 platform::DownloadFailure::kHttpStatus, missing});
  EXPECT_EQ(w.log.lines,
            (std::vector<std::string>{
                "Download failed! Error - The server answered with HTTP "
                "status 404. (null)",
                "The installer is not on the server (HTTP 404); contact the "
                "vendor."}));
  EXPECT_FALSE(w.window->progress.isIndeterminate());
  EXPECT_FALSE(w.window->progress.isAnimating());
  EXPECT_EQ(w.window->progress.doubleValue(), w.window->progress.maxValue());
  EXPECT_EQ(w.window->status.textColor(), ui::Color::kRed);
}


TEST(DownloadTest, AFinishedDownloadIsInstalledAndTheWindowCloses) {
  // Given a finished download, with or without an ETag, the window shows the
  // unpacking, hands the archive to the cache under that ETag, leaves the
  // screen before the agent starts, and closes as soon as it runs.
  for (const std::optional<std::string>& etag :
       {std::optional<std::string>("\"5f-abc\""),
        std::optional<std::string>()}) {
    SCOPED_TRACE(etag.value_or("no ETag"));
    FakeDownloadWindow w;
    serveArchive(w, etag);
    bool shownAtStart = true;
    w.cache.onStart = [&] { shownAtStart = w.window->window.isVisible(); };

    EXPECT_EQ(w.application.run(), 1);
    EXPECT_FALSE(shownAtStart);
    ASSERT_EQ(w.cache.installs.size(), 1u);
    EXPECT_EQ(w.cache.installs[0].archive,
              w.bundle.root() + "/InstallAgent.zip");
    EXPECT_EQ(w.cache.installs[0].etag, etag);
    const ui::Drawing& drawn = w.frontEnd.lastDrawing();
    EXPECT_EQ(drawn.status, "Initializing the installer");
    EXPECT_TRUE(drawn.indeterminate);
    EXPECT_TRUE(drawn.animating);
    EXPECT_FALSE(drawn.buttonEnabled);
    EXPECT_FALSE(w.window->window.isVisible());
    EXPECT_EQ(w.frontEnd.closed, 1);
    EXPECT_EQ(w.loop.now(), 0.0) << "closed at once";
  }
}

TEST(DownloadTest, AnAgentThatCannotStartIsShownInRedUntilClosed) {
  struct Case {
    Outcome outcome;
    std::string text;
  };
  for (const Case& c :
       {Case{Outcome::kUnpackFailed, "Failed to unzip the installer."},
        Case{Outcome::kIncomplete, "The installer is incomplete."},
        Case{Outcome::kNotStarted, "The installer could not be started."}}) {
    SCOPED_TRACE(c.text);
    FakeDownloadWindow w;
    w.cache.installOutcome = c.outcome;
    serveArchive(w, "\"v1\"");

    EXPECT_EQ(w.application.run(), 0);
    EXPECT_TRUE(w.loop.ranOutOfWork()) << "the window waits to be closed";
    EXPECT_EQ(w.window->status.stringValue(), c.text);
    EXPECT_EQ(w.window->status.textColor(), ui::Color::kRed);
    EXPECT_FALSE(w.window->progress.isAnimating());
    EXPECT_EQ(w.window->progress.doubleValue(), w.window->progress.maxValue());
    w.loop.advance(10.0);
    EXPECT_TRUE(w.window->window.isVisible())
        << "shown again when the start failed; no close is scheduled";
    // Cancel, disabled while the installer was prepared, ends the run.
    w.window->cancel.performClick();
    EXPECT_FALSE(w.window->window.isVisible());
    EXPECT_TRUE(w.stopRequested());
  }
}

TEST(DownloadTest, ASignalThatCameWhileTheCacheWasBusyStartsNothing) {
  // Given a signal that arrived while the cache unpacked the archive, or
  // waited for another run's lock, the start is called off and the window
  // closes once the loop delivers it; the run ends without an agent and
  // without a red text.
  for (const bool cached : {false, true}) {
    SCOPED_TRACE(cached ? "cached" : "downloaded");
    FakeDownloadWindow w;
    w.loop.watchSignal(SIGTERM, [&w] { w.window->window.close(); });
    if (cached) w.cache.stamp = "\"v1\"";
    w.cache.whileBusy = [&w] { w.loop.raiseSignal(SIGTERM); };
    w.downloads.script = [](platform::FakeDownloadRecord& download) {
      download.respond(serverResponse("\"v1\"", 100));
      download.receive(100);
      download.finish();
    };

    EXPECT_EQ(w.application.run(), 0);
    EXPECT_FALSE(w.window->window.isVisible());
    EXPECT_EQ(w.cache.installs.size(), cached ? 0u : 1u);
    EXPECT_NE(w.window->status.textColor(), ui::Color::kRed);
  }
}

}  // namespace
