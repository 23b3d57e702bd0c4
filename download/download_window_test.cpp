#include "download/download_window.h"

#include <optional>
#include <string>

#include "base/constants.h"
#include "testing/fake_error_reporter.h"
#include "testing/download_window_fixture.h"
#include "gtest/gtest.h"
#include "testing/test_env.h"
#include "testing/fake_agent_cache.h"
#include "testing/fake_web_download.h"
#include "platform/os/service.h"

namespace {

TEST(DownloadWindowTest, TheEntryRunsTheWindowAndTellsWhetherTheAgentStarted) {
  // Given a cached agent that the server still vouches for, the window ends
  // by itself: true when the agent started, false when it could not.
  testing_env::FakeBundle bundle;
  FakeAgentCache cache;
  cache.stamp = "\"v1\"";
  platform::FakeWebDownloadFactory downloads;
  downloads.script = [](platform::FakeDownloadRecord& download) {
    download.respond(serverResponse("\"v1\"", 1000));
  };
  platform::ScopedService<platform::WebDownloadFactory> downloadService(
      &downloads);
  platform::ScopedService<AgentCache> cacheService(&cache);

  struct Case {
    const char* name;
    std::optional<std::string> override;  // QZ_INTERNAL_INSTALL_AGENT_URL
    bool launches;
    std::string url;
  };
  for (const Case& c :
       {Case{"overridden", "https://127.0.0.1:8443/agent.zip", true,
             "https://127.0.0.1:8443/agent.zip"},
        Case{"overridden with nothing", "", true, ""},
        Case{"default", std::nullopt, true, installAgentUrl},
        Case{"agent refused", std::nullopt, false, installAgentUrl}}) {
    SCOPED_TRACE(c.name);
    testing_env::ScopedEnvironment url("QZ_INTERNAL_INSTALL_AGENT_URL",
                                       c.override);
    cache.startOutcome = c.launches ? AgentCache::Outcome::kStarted
                                    : AgentCache::Outcome::kNotStarted;
    const std::string destination = bundle.root() + "/InstallAgent.zip";
    clearReports();

    EXPECT_EQ(downloadInstallAgentFromQZ(destination.c_str(), recordReport,
                                         WindowSettings{}),
              c.launches);
    EXPECT_EQ(downloads.started.back()->request.url, c.url);
    EXPECT_EQ(downloads.started.back()->destination, destination);
    EXPECT_EQ(downloadTo, destination);
    EXPECT_EQ(downloadFrom, c.url);
    EXPECT_TRUE(recordedReports().empty());
  }
  EXPECT_EQ(downloads.started.size(), 4u);
  EXPECT_EQ(cache.cachedStarts, 4);
}

TEST(DownloadWindowTest, AKeyFileThatIsNoKeyEndsTheEntryBeforeAnyDownload) {
  testing_env::FakeBundle bundle;
  platform::FakeWebDownloadFactory downloads;
  platform::ScopedService<platform::WebDownloadFactory> downloadService(
      &downloads);
  const std::string key = bundle.resources() + "/InstallAgent.pub";
  testing_env::writeFile(key, "not a key\n");
  const std::string destination = bundle.root() + "/InstallAgent.zip";
  clearReports();

  EXPECT_FALSE(downloadInstallAgentFromQZ(destination.c_str(), recordReport,
                                          WindowSettings{}));
  EXPECT_TRUE(downloads.started.empty());
  EXPECT_EQ(recordedReports(),
            std::vector<std::string>{"Cannot use the public key " + key +
                                     ": Not a minisign public key file."});
}

}  // namespace
