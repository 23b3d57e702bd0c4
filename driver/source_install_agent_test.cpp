#include "driver/source_install_agent.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/fake_error_reporter.h"
#include "testing/test_env.h"

namespace {

using testing_env::exists;
using testing_env::FakeBundle;
using testing_env::makeZip;
using testing_env::ScratchDirectory;

TEST(SourceInstallAgent, TakesAVersionedArchiveByItsExactName) {
  FakeBundle bundle;
  ScratchDirectory payload;
  // Near misses hold a launcher of another name, so taking one shows.
  for (const char* decoy :
       {"installagent_1.zip", "InstallAgent_1.ZIP", "InstallAgent_1.zip.part",
        "InstallAgent.zip.old"}) {
    ASSERT_TRUE(makeZip(bundle.resources() + "/" + decoy, {{"decoy", ""}}));
  }
  ASSERT_TRUE(bundle.shipAgent("InstallAgent_7.zip"));

  bool startedByWindow = true;
  EXPECT_EQ(payload / "install",
            sourceInstallAgent(payload.path(), recordReport, &startedByWindow,
                               WindowSettings{}));
  EXPECT_FALSE(startedByWindow);
  EXPECT_FALSE(exists(payload / "decoy"));
}

TEST(SourceInstallAgent, AShippedArchiveThatFailsIsNotFollowedByADownload) {
  FakeBundle bundle;
  ScratchDirectory payload;
  clearReports();
  // Selected by its name although it is a directory.
  ASSERT_TRUE(std::filesystem::create_directory(bundle.resources() +
                                                "/InstallAgent_x.zip"));

  bool startedByWindow = true;
  EXPECT_EQ("", sourceInstallAgent(payload.path(), recordReport,
                                   &startedByWindow, WindowSettings{}));
  EXPECT_FALSE(startedByWindow);
  EXPECT_EQ(
      (std::vector<std::string>{"Failed to unzip the install agent",
                                "Failed to initialize the install agent."}),
      recordedReports());
  EXPECT_FALSE(exists(bundle.home() + "/.vorpex"));
}

}  // namespace
