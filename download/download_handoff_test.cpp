#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/download_window_fixture.h"

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

TEST(DownloadHandoffTest, AFinishedDownloadIsInstalledAndTheWindowCloses) {
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

TEST(DownloadHandoffTest, AnAgentThatCannotStartIsShownInRedUntilClosed) {
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
    EXPECT_FALSE(w.window->cancel.isEnabled());
    w.loop.advance(10.0);
    EXPECT_TRUE(w.window->window.isVisible())
        << "shown again when the start failed; no close is scheduled";
  }
}

TEST(DownloadHandoffTest, ACachedAgentThatCannotStartIsShownAsFailed) {
  // The window left the screen for the start; it comes back to say why, and
  // the archive is not fetched after all.
  FakeDownloadWindow w;
  w.cache.stamp = "\"v1\"";
  w.cache.startOutcome = Outcome::kNotStarted;
  w.downloads.script = [](platform::FakeDownloadRecord& download) {
    download.respond(serverResponse("\"v1\"", 1000));
  };

  EXPECT_EQ(w.application.run(), 0);
  EXPECT_TRUE(w.window->window.isVisible());
  EXPECT_EQ(w.download().cancelCalls, 1);
  EXPECT_EQ(w.cache.cachedStarts, 1);
  EXPECT_EQ(w.window->status.stringValue(),
            "The installer could not be started.");
  EXPECT_TRUE(w.cache.installs.empty());
}

TEST(DownloadHandoffTest, ASignalThatCameWhileTheCacheWasBusyStartsNothing) {
  // Given a signal that arrived while the cache unpacked the archive, or
  // waited for another run's lock, the window closes before the start, which
  // is called off; the run ends without an agent and without a red text.
  for (const bool cached : {false, true}) {
    SCOPED_TRACE(cached ? "cached" : "downloaded");
    FakeDownloadWindow w;
    w.loop.watchSignal(SIGTERM, [&w] { w.window->window.close(); });
    if (cached) w.cache.stamp = "\"v1\"";
    w.downloads.script = [&w](platform::FakeDownloadRecord& download) {
      w.loop.raiseSignal(SIGTERM);
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
