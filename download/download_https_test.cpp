#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "agent/install_agent_cache.h"
#include "base/constants.h"
#include "download/download_window.h"
#include "testing/download_window_fixture.h"
#include "download/window_builder.h"
#include "gtest/gtest.h"
#include "net/retrying_web_download.h"
#include "ui/application.h"
#include "platform/loop/event_loop.h"
#include "testing/test_env.h"
#include "testing/fake_front_end.h"
#include "testing/fake_process_info.h"
#include "platform/os/service.h"
#include "testing/https_test_server.h"

namespace {

// Runs the download window with the real loop and the real download, as the
// entry does but drawn on a recording front end, trusting "caFile". A run
// that fails waits for the user; the watchdog closes it instead, so that it
// ends as failed.
int runWindow(ui::FakeFrontEnd& frontEnd, const std::string& caFile) {
  const std::unique_ptr<platform::EventLoop> loop =
      platform::NewPollEventLoop();
  ui::Application application(loop.get());
  net::RetryingWebDownloadFactory downloads(
      platform::WebDownloadFactory::Real(), 1.0);
  const std::unique_ptr<DownloadWindow> window =
      buildDownloadWindow(application, frontEnd, downloads,
                          platform::Connection{caFile, false});
  loop->performAfterDelay(30.0, [&window] { window->window.close(); });
  return application.run();
}

// The texts the window showed, each once, in order.
std::vector<std::string> shownTexts(const ui::FakeFrontEnd& frontEnd) {
  std::vector<std::string> texts;
  for (const ui::Drawing& drawing : frontEnd.drawings) {
    if (texts.empty() || texts.back() != drawing.status) {
      texts.push_back(drawing.status);
    }
  }
  return texts;
}

// The agent's path and arguments once the launched agent has written them.
std::vector<std::string> awaitAgentCall(const testing_env::FakeBundle& bundle) {
  const auto giveUp =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::vector<std::string> call = bundle.agentCall();
  while (call.empty() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    call = bundle.agentCall();
  }
  return call;
}

TEST(DownloadHttpsTest, AServedArchiveIsShownArrivingThenStartedFromTheCache) {
  // Given a server on 127.0.0.1 with an agent archive of several blocks, the
  // window shows the percentages rising to 100, stores the ETag and starts
  // the agent through /bin/sh with the user's arguments intact.
  testing_env::FakeBundle bundle;
  std::string padding(700 * 1024, '\0');
  for (std::size_t i = 0; i < padding.size(); ++i) {
    padding[i] = static_cast<char>((i * 2654435761u) >> 11);
  }
  const std::string archive = bundle.root() + "/served.zip";
  ASSERT_TRUE(testing_env::makeZip(
      archive,
      {{"install", testing_env::kRecordingLauncher}, {"padding", padding}}));
  test_support::TestHttpsServer server(archive, bundle.root());
  ASSERT_TRUE(server.started());
  // The pause before the body lets the answer be drawn before any data.
  server.setControl(R"({"etag": "\"e1\"", "stall": 0.3})");
  platform::FakeProcessInfo process(
      {"/Applications/X.app/Contents/MacOS/X", "a b", "'$HOME'"});
  platform::ScopedService<platform::ProcessInfo> processService(&process);
  downloadTo = bundle.root() + "/InstallAgent.zip";
  downloadFrom = server.url();

  ui::FakeFrontEnd announced;
  EXPECT_EQ(runWindow(announced, server.caFile()), 1);
  std::vector<std::string> texts = shownTexts(announced);
  ASSERT_GE(texts.size(), 4u) << testing::PrintToString(texts);
  EXPECT_EQ(texts[1], "Downloading   0%");
  EXPECT_EQ(texts[texts.size() - 2], "Downloading 100%");
  EXPECT_EQ(texts.back(), "Initializing the installer");
  EXPECT_TRUE(std::is_sorted(texts.begin() + 1, texts.end() - 1));
  EXPECT_EQ(
      testing_env::readFile(getInstallAgentCacheDir() + ".validatestring"),
      "\"e1\"");
  // Started from the agent's own directory, where the cache's link points.
  const auto agentCall = [&bundle] {
    const std::string cacheDir = getInstallAgentCacheDir();
    return std::vector<std::string>{
        cacheDir + std::filesystem::read_symlink(cacheDir + "installagent")
                       .string() + "/install",
        "-installbundle", bundle.resources() + "/bundle.zip", "a b",
        "'$HOME'"};
  };
  EXPECT_EQ(awaitAgentCall(bundle), agentCall());

  // Served again without a length or an ETag: the cached agent cannot be
  // vouched for, so it is fetched again behind a spinning bar, as "Downloading".
  std::remove((bundle.root() + "/agent-record").c_str());
  server.setControl(R"({"etag": null, "no_length": true, "stall": 0.3})");
  ui::FakeFrontEnd unannounced;
  EXPECT_EQ(runWindow(unannounced, server.caFile()), 1);
  texts = shownTexts(unannounced);
  EXPECT_EQ(texts,
            (std::vector<std::string>{texts.front(), "Downloading",
                                      "Initializing the installer"}));
  EXPECT_TRUE(std::any_of(
      unannounced.drawings.begin(), unannounced.drawings.end(),
      [](const ui::Drawing& d) {
        return d.status == "Downloading" && d.indeterminate && d.animating;
      }));
  EXPECT_EQ(server.stat("body_bytes"),
            2 * static_cast<long>(testing_env::readFile(archive)->size()));
  EXPECT_EQ(awaitAgentCall(bundle), agentCall());
}

}  // namespace
