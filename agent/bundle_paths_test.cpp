#include "agent/bundle_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/test_env.h"
#include "testing/fake_main_bundle.h"
#include "platform/os/service.h"

namespace {

using platform::BundlePaths;

class BundlePathsTest : public testing::Test {
 protected:
  platform::FakeMainBundle bundle_;
  platform::ScopedService<platform::MainBundle> service_{&bundle_};
};

TEST_F(BundlePathsTest, DirectoryOfExecutableCutsAtTheLastSeparator) {
  const struct {
    std::string path;
    std::string directory;
  } cases[] = {
      {"/Applications/Setup.app", "/Applications"},
      {"/Setup.app", ""},
      {"Setup.app", "Setup.app"},
      {"/a/b/", "/a/b"},
      {"C:\\dir\\setup", "C:\\dir"},
      {"", ""},
  };
  for (const auto& c : cases) {
    bundle_.bundle = BundlePaths{c.path, std::nullopt};
    EXPECT_EQ(c.path, getPathToExecutable());
    EXPECT_EQ(c.directory, getDirectoryOfExecutable()) << c.path;
  }
}

TEST_F(BundlePathsTest, LocationsInsideTheBundle) {
  bundle_.bundle =
      BundlePaths{"/V/Setup.app", "/V/Setup.app/Contents/Resources/"};
  EXPECT_EQ("/V/Setup.app/Contents/Resources/", getBundleLocation());
  // Composed whether or not the archive is there, with one separator.
  EXPECT_EQ("/V/Setup.app/Contents/Resources/InstallAgent.zip",
            getDefaultInstallAgentLocation());
  EXPECT_EQ("/V/Setup.app/Contents/Resources/InstallAgent.pub",
            getInstallAgentPublicKeyLocation());
  EXPECT_EQ("/V/Setup.app/Contents/Resources/InstallAgent.floor",
            getInstallAgentFloorLocation());

  bundle_.bundle = BundlePaths{"/V/Setup.app", std::nullopt};
  EXPECT_EQ("/V/Setup.app", getBundleLocation());
  EXPECT_EQ("", getDefaultInstallAgentLocation());
  EXPECT_EQ("", getInstallAgentPublicKeyLocation());
}

TEST_F(BundlePathsTest, WithoutABundleTheRunningExecutableCounts) {
  const std::string executable = testing_env::runningExecutable();
  ASSERT_FALSE(executable.empty());

  EXPECT_EQ(executable, getPathToExecutable());
  EXPECT_EQ(executable.substr(0, executable.rfind('/')),
            getDirectoryOfExecutable());
  EXPECT_EQ(getDirectoryOfExecutable(), getBundleLocation());
  EXPECT_EQ("", getDefaultInstallAgentLocation());
}

}  // namespace
