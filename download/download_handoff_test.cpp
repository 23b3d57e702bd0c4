#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testing/download_window_fixture.h"
#include "gtest/gtest.h"
#include "testing/test_env.h"
#include "platform/os/unique_fd.h"

namespace {

// The names in the cache directory.
std::set<std::string> cacheEntries(FakeDownloadWindow& w) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(w.cacheDir())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Has the server send the archive at downloadTo, which the transfer would
// have written, with "etag" and its length announced.
void serveArchive(FakeDownloadWindow& w, std::optional<std::string> etag) {
  const std::string archive =
      testing_env::readFile(w.controller().installAgentLocation()).value_or("");
  w.downloads.script =
      [etag, size = archive.size()](platform::FakeDownloadRecord& download) {
        download.respond(serverResponse(etag, static_cast<std::int64_t>(size)));
        download.receive(size);
        download.finish();
      };
}

// An archive that is no zip at all, and one whose second file is damaged
// after "install" unpacked fine.
void writeBrokenArchive(const std::string& path, bool partly) {
  if (!partly) {
    testing_env::writeFile(path, "PK\3\4 this is not an archive");
    return;
  }
  std::string payload(8192, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  ASSERT_TRUE(
      testing_env::makeZip(path, {{"install", testing_env::kRecordingLauncher},
                                  {"payload.bin", payload}}));
  std::string zip = testing_env::readFile(path).value_or("");
  const std::size_t data = zip.find("payload.bin") + 11 + 200;
  ASSERT_LT(data + 64, zip.size());
  for (std::size_t i = data; i < data + 64; ++i)
    zip[i] = static_cast<char>(~zip[i]);
  testing_env::writeFile(path, zip);
}

TEST(DownloadHandoffTest, AFinishedDownloadIsUnpackedIntoTheCacheAndStarted) {
  // Given a good archive with an ETag, and a user who passed arguments that a
  // shell would split or expand.
  FakeDownloadWindow w;
  ASSERT_TRUE(testing_env::makeZip(
      w.controller().installAgentLocation(),
      {{"install", testing_env::kRecordingLauncher}, {"agent.dat", "data"}}));
  w.process.args = {"/Applications/X.app/Contents/MacOS/X", "--mode unattended",
                    "it's \"quoted\"", "$HOME", ""};
  serveArchive(w, "\"5f-abc\"");
  int hiddenAtLaunch = -1;
  w.tasks.onLaunch = [&] { hiddenAtLaunch = w.frontEnd.closed; };

  EXPECT_EQ(w.application.run(), 1);
  EXPECT_EQ(testing_env::readFile(w.cacheDir() + ".validatestring"),
            "\"5f-abc\"");
  EXPECT_EQ(testing_env::readFile(w.agentDir() + "/agent.dat"), "data");
  // Unpacked beside the agent directory, then renamed into its place.
  EXPECT_EQ(cacheEntries(w),
            (std::set<std::string>{"installagent", ".validatestring"}));
  ASSERT_EQ(w.tasks.launches.size(), 1u);
  EXPECT_EQ(w.tasks.launches[0].launchPath, "/bin/sh");
  EXPECT_EQ(w.tasks.launches[0].arguments,
            (std::vector<std::string>{
                w.agentDir() + "/install", "-installbundle",
                w.bundle.resources() + "/bundle.zip", "--mode unattended",
                "it's \"quoted\"", "$HOME", ""}));

  // The window shows the unpacking, leaves the screen before the agent
  // starts, and closes 3.0 seconds later.
  const platform::Drawing& drawn = w.frontEnd.lastDrawing();
  EXPECT_EQ(drawn.status, "Initializing the installer");
  EXPECT_TRUE(drawn.indeterminate);
  EXPECT_TRUE(drawn.animating);
  EXPECT_FALSE(drawn.buttonEnabled);
  EXPECT_EQ(hiddenAtLaunch, 1);
  EXPECT_FALSE(w.window->window.isVisible());
  w.loop.advance(3.1);
  EXPECT_DOUBLE_EQ(w.loop.now(), 3.0);
  EXPECT_EQ(w.frontEnd.closed, 1);
  EXPECT_EQ(w.tasks.launches.size(), 1u);
}

TEST(DownloadHandoffTest, ANewArchiveReplacesTheStaleAgentWhole) {
  // Given a cached agent with a file the new archive no longer has, the
  // stale agent goes once the new archive is complete: nothing of it is
  // left beside the new one, and the directory is the user's alone.
  FakeDownloadWindow w;
  cacheAgent("\"v1\"");
  testing_env::writeFile(w.agentDir() + "/old.dat", "stale");
  ASSERT_TRUE(testing_env::makeZip(
      w.controller().installAgentLocation(),
      {{"install", testing_env::kRecordingLauncher}, {"agent.dat", "new"}}));
  serveArchive(w, "\"v2\"");

  EXPECT_EQ(w.application.run(), 1);
  EXPECT_FALSE(testing_env::exists(w.agentDir() + "/old.dat"));
  EXPECT_EQ(testing_env::readFile(w.agentDir() + "/agent.dat"), "new");
  EXPECT_EQ(testing_env::readFile(w.cacheDir() + ".validatestring"), "\"v2\"");
  struct stat info;
  ASSERT_EQ(stat(w.agentDir().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(w.tasks.launches.size(), 1u);
}

TEST(DownloadHandoffTest, WithoutAnETagNoStampIsStored) {
  FakeDownloadWindow w;
  ASSERT_TRUE(
      testing_env::makeZip(w.controller().installAgentLocation(),
                           {{"install", testing_env::kRecordingLauncher}}));
  serveArchive(w, std::nullopt);

  EXPECT_EQ(w.application.run(), 1);
  EXPECT_FALSE(testing_env::exists(w.cacheDir() + ".validatestring"));
  EXPECT_EQ(w.tasks.launches.size(), 1u);
}

TEST(DownloadHandoffTest, ABrokenArchiveLeavesNoLauncherAndStartsNothing) {
  for (bool partly : {false, true}) {
    SCOPED_TRACE(partly ? "damaged after install" : "not an archive");
    FakeDownloadWindow w;
    writeBrokenArchive(w.controller().installAgentLocation(), partly);
    serveArchive(w, "\"v1\"");

    testing::internal::CaptureStderr();
    EXPECT_EQ(w.application.run(), 0);
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_NE(reported.find("Failed to unzip the install agent\n"),
              std::string::npos)
        << reported;
    EXPECT_TRUE(w.loop.ranOutOfWork()) << "the window waits to be closed";
    EXPECT_EQ(w.window->status.stringValue(), "Failed to unzip the installer.");
    EXPECT_EQ(w.window->status.textColor(), platform::Color::kRed);
    EXPECT_FALSE(w.window->progress.isAnimating());
    EXPECT_EQ(w.window->progress.doubleValue(), w.window->progress.maxValue());
    EXPECT_FALSE(w.window->cancel.isEnabled());
    EXPECT_TRUE(w.tasks.launches.empty());
    EXPECT_FALSE(testing_env::exists(w.agentDir() + "/install"));
    EXPECT_EQ(cacheEntries(w), std::set<std::string>{"installagent"});
  }
}

TEST(DownloadHandoffTest, AnAgentInstalledMeanwhileWithTheSameETagIsKept) {
  // Another run installed an agent while this one downloaded. Under the same
  // ETag it stays, and is started; under another one, ours replaces it.
  for (const char* theirs : {"\"v1\"", "\"v0\""}) {
    SCOPED_TRACE(theirs);
    FakeDownloadWindow w;
    ASSERT_TRUE(testing_env::makeZip(
        w.controller().installAgentLocation(),
        {{"install", testing_env::kRecordingLauncher}, {"ours", ""}}));
    w.downloads.script = [&w, theirs](platform::FakeDownloadRecord& download) {
      download.respond(serverResponse("\"v1\"", 100));
      cacheAgent(theirs);
      testing_env::writeFile(w.agentDir() + "/theirs", "");
      download.receive(100);
      download.finish();
    };

    EXPECT_EQ(w.application.run(), 1);
    const bool kept = std::string(theirs) == "\"v1\"";
    EXPECT_EQ(testing_env::exists(w.agentDir() + "/theirs"), kept);
    EXPECT_EQ(testing_env::exists(w.agentDir() + "/ours"), !kept);
    EXPECT_EQ(testing_env::readFile(w.cacheDir() + ".validatestring"),
              "\"v1\"");
    EXPECT_EQ(cacheEntries(w),
              (std::set<std::string>{"installagent", ".validatestring"}));
    EXPECT_EQ(w.tasks.launches.size(), 1u);
  }
}

TEST(DownloadHandoffTest, ACacheThatCannotTakeTheAgentSaysWhy) {
  // A file took the cache's place during the download: nowhere to unpack.
  FakeDownloadWindow w;
  ASSERT_TRUE(
      testing_env::makeZip(w.controller().installAgentLocation(),
                           {{"install", testing_env::kRecordingLauncher}}));
  w.downloads.script = [&w](platform::FakeDownloadRecord& download) {
    download.respond(serverResponse("\"v1\"", 100));
    const std::string cache = w.cacheDir();
    std::filesystem::remove_all(cache);
    testing_env::writeFile(cache.substr(0, cache.size() - 1), "");
    download.receive(100);
    download.finish();
  };

  EXPECT_EQ(w.application.run(), 0);
  EXPECT_EQ(w.log.lines,
            std::vector<std::string>{"Could not create a directory in " +
                                     w.cacheDir() + ": Not a directory."});
  EXPECT_EQ(w.window->status.stringValue(), "Failed to unzip the installer.");
  EXPECT_EQ(w.window->status.textColor(), platform::Color::kRed);
  EXPECT_TRUE(w.tasks.launches.empty());
}

TEST(DownloadHandoffTest, TheCacheIsLookedAtAndChangedOnlyUnderItsLock) {
  // While another run holds the cache's lock, this one neither trusts nor
  // installs nor starts an agent; once it lets go, this run goes on.
  for (bool cached : {true, false}) {
    SCOPED_TRACE(cached ? "valid cached agent" : "finished download");
    FakeDownloadWindow w;
    ASSERT_TRUE(
        testing_env::makeZip(w.controller().installAgentLocation(),
                             {{"install", testing_env::kRecordingLauncher}}));
    if (cached) cacheAgent("\"v1\"");
    serveArchive(w, "\"v1\"");
    platform::UniqueFd other(
        open(w.cacheDir().c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(flock(other.get(), LOCK_EX), 0);

    int status = -1;
    std::thread run([&] { status = w.application.run(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(w.tasks.launches.empty());
    other.reset();
    run.join();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(w.tasks.launches.size(), 1u);
  }
}

TEST(DownloadHandoffTest, AnAgentThatCannotStartEndsTheRunAsFailed) {
  // An archive without a launcher, and a launcher the system refuses to
  // start: either way the window says so in red and waits to be closed.
  for (bool hasLauncher : {false, true}) {
    SCOPED_TRACE(hasLauncher ? "launch refused" : "no launcher");
    FakeDownloadWindow w;
    const std::string name = hasLauncher ? "install" : "readme.txt";
    ASSERT_TRUE(
        testing_env::makeZip(w.controller().installAgentLocation(),
                             {{name, testing_env::kRecordingLauncher}}));
    w.tasks.result = false;
    serveArchive(w, "\"v1\"");

    EXPECT_EQ(w.application.run(), 0);
    EXPECT_TRUE(w.loop.ranOutOfWork());
    EXPECT_EQ(w.tasks.launches.size(), hasLauncher ? 1u : 0u);
    EXPECT_EQ(w.window->status.stringValue(),
              hasLauncher ? "The installer could not be started."
                          : "The installer is incomplete.");
    EXPECT_EQ(w.window->status.textColor(), platform::Color::kRed);
    EXPECT_TRUE(w.window->window.isVisible());

    w.loop.advance(10.0);
    EXPECT_TRUE(w.window->window.isVisible()) << "no close is scheduled";
  }
}

TEST(DownloadHandoffTest, ACachedAgentThatCannotStartEndsTheRunAsFailed) {
  FakeDownloadWindow w;
  cacheAgent("\"v1\"");
  w.tasks.result = false;
  w.downloads.script = [](platform::FakeDownloadRecord& download) {
    download.respond(serverResponse("\"v1\"", 1000));
  };

  EXPECT_EQ(w.application.run(), 0);
  EXPECT_FALSE(w.window->window.isVisible());
  EXPECT_EQ(w.tasks.launches.size(), 1u);
}

}  // namespace
