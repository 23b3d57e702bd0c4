#include <optional>
#include <string>
#include <vector>

#include "testing/download_window_fixture.h"
#include "gtest/gtest.h"

namespace {

TEST(DownloadProgressTest, AnnouncedLengthShowsPercentagesDrawnPerBlock) {
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

TEST(DownloadProgressTest, PercentagesRoundAndGoPastTheAnnouncedLength) {
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

TEST(DownloadProgressTest, NoAnnouncedLengthAnimatesAndOnlyCounts) {
  FakeDownloadWindow w;
  const std::string initialText = w.window->status.stringValue();
  platform::FakeDownloadRecord& download = w.launch();

  download.respond(serverResponse("\"v1\"", -1));
  download.receive(500);
  download.receive(500);
  EXPECT_TRUE(w.window->progress.isIndeterminate());
  EXPECT_TRUE(w.window->progress.isAnimating());
  EXPECT_EQ(w.window->progress.doubleValue(), 0.0);
  EXPECT_EQ(w.window->status.stringValue(), initialText);
  EXPECT_EQ(w.controller().bytesReceived(), 1000);
  EXPECT_EQ(w.controller().fileLength(), -1);
}

TEST(DownloadProgressTest, RetriesKeepTheBarAndAnewResponseStartsOver) {
  // Given a download cut at a quarter, the pause keeps the bar and says why
  // in the usual colour; resumed data goes on from there.
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();

  download.respond(serverResponse("\"v1\"", 1000));
  download.receive(250);
  w.controller().downloadWillRetry(download.download,
                                   {3.6, "Connection lost", 2});
  EXPECT_EQ(w.window->status.stringValue(), "Connection lost. Retrying in 4 s");
  EXPECT_EQ(w.window->status.textColor(), ui::Color::kControlText);
  EXPECT_EQ(w.window->progress.doubleValue(), 250.0);
  download.receive(250);
  EXPECT_EQ(w.window->status.stringValue(), "Downloading  50%");

  // A new response is a body from byte zero: the count starts over.
  download.respond(serverResponse("\"v2\"", 2000));
  EXPECT_EQ(w.window->progress.maxValue(), 2000.0);
  EXPECT_EQ(w.window->progress.doubleValue(), 0.0);
  EXPECT_EQ(w.controller().validationString(), "\"v2\"");
  download.receive(500);
  EXPECT_EQ(w.window->status.stringValue(), "Downloading  25%");
  EXPECT_EQ(w.controller().bytesReceived(), 500);
}

TEST(DownloadProgressTest, AValidCachedAgentStartsWithoutDownloading) {
  // Given a cached agent stamped with the ETag the server sends now, the
  // window closes and the cached agent starts before any byte arrives.
  FakeDownloadWindow w;
  w.cache.stamp = "\"v1\"";
  const std::string initialText = w.window->status.stringValue();
  w.downloads.script = [&w](platform::FakeDownloadRecord& download) {
    download.respond(serverResponse("\"v1\"", 1000));
    EXPECT_EQ(w.cache.cachedStarts, 1);
  };

  EXPECT_EQ(w.application.run(), 1);
  EXPECT_EQ(w.download().cancelCalls, 1);
  EXPECT_FALSE(w.window->window.isVisible());
  EXPECT_EQ(w.frontEnd.closed, 1);
  EXPECT_TRUE(w.cache.installs.empty());
  EXPECT_EQ(w.window->status.stringValue(), initialText);
  EXPECT_FALSE(w.window->progress.isAnimating());
}

TEST(DownloadProgressTest, AStaleCachedAgentStaysWhileTheDownloadGoesOn) {
  // Given a cached agent that the server's ETag does not vouch for, the
  // archive is downloaded; a failed download installs nothing.
  struct Case {
    const char* name;
    std::optional<std::string> stored;  // stamp in the cache
    std::optional<std::string> sent;    // ETag from the server
  };
  for (const Case& c : {Case{"changed", "\"v1\"", "\"v2\""},
                        Case{"not sent", "\"v1\"", std::nullopt},
                        Case{"never stored", std::nullopt, "\"v1\""},
                        Case{"unquoted", "\"v1\"", "v1"}}) {
    SCOPED_TRACE(c.name);
    FakeDownloadWindow w;
    w.cache.stamp = c.stored;
    platform::FakeDownloadRecord& download = w.launch();
    download.respond(serverResponse(c.sent, 1000));
    EXPECT_EQ(w.cache.cachedStarts, 0);
    EXPECT_TRUE(w.window->window.isVisible());
    EXPECT_EQ(download.cancelCalls, 0);
    EXPECT_EQ(w.window->status.stringValue(), "Downloading   0%");

    download.receive(250);
    download.fail({"The network connection was lost.", std::nullopt});
    EXPECT_TRUE(w.cache.installs.empty());
  }
}

TEST(DownloadProgressTest, AFailureIsLoggedAndShownInRedUntilTheWindowCloses) {
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();
  download.respond(serverResponse("\"v1\"", 1000));
  download.receive(250);

  download.fail({"The request timed out.", FakeDownloadWindow::kUrl});
  EXPECT_EQ(w.log.lines, std::vector<std::string>{
                             std::string("Download failed! Error - The request "
                                         "timed out. ") +
                             FakeDownloadWindow::kUrl});
  EXPECT_EQ(w.window->status.stringValue(),
            "Error during the download process.\nSee your system log for more "
            "information.");
  EXPECT_EQ(w.window->status.textColor(), ui::Color::kRed);
  EXPECT_FALSE(w.window->progress.isAnimating());
  EXPECT_FALSE(w.window->progress.isIndeterminate());
  EXPECT_EQ(w.window->progress.doubleValue(), 1000.0);
  EXPECT_TRUE(w.window->cancel.isEnabled());
  EXPECT_TRUE(w.window->window.isVisible());
  EXPECT_FALSE(w.stopRequested());
  EXPECT_TRUE(w.cache.installs.empty());
}

TEST(DownloadProgressTest, AFailureBeforeAnyResponseFillsTheBar) {
  // Refused before the server answered, with no URL in the error, while the
  // bar still spins for an unknown length.
  FakeDownloadWindow w;
  platform::FakeDownloadRecord& download = w.launch();
  w.window->progress.setIndeterminate(true);
  w.window->progress.startAnimation(nullptr);

  download.fail({"Could not connect to the server.", std::nullopt});
  EXPECT_EQ(w.log.lines, std::vector<std::string>{
                             "Download failed! Error - Could not connect to "
                             "the server. (null)"});
  EXPECT_FALSE(w.window->progress.isIndeterminate());
  EXPECT_FALSE(w.window->progress.isAnimating());
  EXPECT_EQ(w.window->progress.doubleValue(), w.window->progress.maxValue());
  EXPECT_EQ(w.window->status.textColor(), ui::Color::kRed);
}

}  // namespace
