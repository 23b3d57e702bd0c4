#include "driver/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/fake_error_reporter.h"
#include "testing/test_env.h"
#include "testing/fake_temporary_directory.h"
#include "platform/os/service.h"

namespace {

using testing_env::ScopedEnvironment;

// A bundle with a recording agent and a user temporary directory of its own.
class DriverTest : public testing::Test {
 protected:
  DriverTest() {
    clearReports();
    temporary_.path = userTemp_.path();
  }

  // The launcher's path and everything after it, as the agent received them.
  std::vector<std::string> agentArguments() const {
    std::vector<std::string> call = bundle_.agentCall();
    if (!call.empty()) call.erase(call.begin());
    return call;
  }
  std::string launcher() const {
    const std::vector<std::string> call = bundle_.agentCall();
    return call.empty() ? "" : call.front();
  }
  bool workingDirectoryGone() const {
    return std::filesystem::is_empty(userTemp_.path());
  }

  testing_env::FakeBundle bundle_;
  testing_env::ScratchDirectory userTemp_;
  platform::FakeTemporaryDirectory temporary_;
  platform::ScopedService<platform::TemporaryDirectory> service_{&temporary_};
  ScopedEnvironment unitTest_{"__QZ_BOOTSTRAP_INSTALLER_UNITTEST__",
                              std::nullopt};
};

// Given a shipped agent, it runs from the working directory with the bundle
// archive and the user's arguments, and the directory goes afterwards.
TEST_F(DriverTest, StartsTheShippedAgentFromTheWorkingDirectory) {
  ASSERT_TRUE(bundle_.shipAgent());
  const char* argv[] = {"bootstrapper", "--flag", "two words"};

  EXPECT_EQ(0, mainFcn(3, argv, recordReport));
  // userTemp_/qzXXXXXX/install
  const std::filesystem::path launcherPath = launcher();
  const std::filesystem::path workingDirectory = launcherPath.parent_path();
  EXPECT_EQ("install", launcherPath.filename());
  EXPECT_EQ(userTemp_.path(), workingDirectory.parent_path());
  EXPECT_EQ(8u, workingDirectory.filename().string().size());
  EXPECT_EQ(0u, workingDirectory.filename().string().rfind("qz", 0));
  EXPECT_EQ((std::vector<std::string>{"-installbundle",
                                      bundle_.resources() + "/bundle.zip",
                                      "--flag", "two words"}),
            agentArguments());
  EXPECT_TRUE(workingDirectoryGone());
  EXPECT_TRUE(recordedReports().empty());
}

TEST_F(DriverTest, TheExecutablesDirectoryServesOnlyWhenAsked) {
  ASSERT_TRUE(bundle_.shipAgent());
  const char* argv[] = {"bootstrapper"};
  // The folder that holds the bundle; what is unpacked there stays.
  const std::string beside = bundle_.root() + "/install";
  {
    ScopedEnvironment unitTest("__QZ_BOOTSTRAP_INSTALLER_UNITTEST__", "");
    EXPECT_EQ(0, mainFcn(1, argv, recordReport));
    EXPECT_EQ(beside, launcher());
    EXPECT_TRUE(workingDirectoryGone());
  }
  std::filesystem::remove(beside);

  temporary_.path = userTemp_ / "missing";
  EXPECT_EQ(0, mainFcn(1, argv, recordReport));
  EXPECT_EQ(0u, launcher().rfind("/tmp/qz", 0)) << launcher();
  EXPECT_FALSE(testing_env::exists(launcher()));
  EXPECT_FALSE(testing_env::exists(beside));
  EXPECT_TRUE(recordedReports().empty());
}

TEST_F(DriverTest, AnAgentThatCannotBeUnpackedIsNotStarted) {
  testing_env::writeFile(bundle_.resources() + "/InstallAgent.zip", "junk");
  const char* argv[] = {"bootstrapper", "-v"};

  EXPECT_EQ(-1, mainFcn(2, argv, recordReport));
  EXPECT_EQ(
      (std::vector<std::string>{"Failed to unzip the install agent",
                                "Failed to initialize the install agent."}),
      recordedReports());
  EXPECT_TRUE(bundle_.agentCall().empty());
  EXPECT_TRUE(workingDirectoryGone());
}

}  // namespace
