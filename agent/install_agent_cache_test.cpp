#include "agent/install_agent_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/test_env.h"

namespace {

using testing_env::ScopedEnvironment;

TEST(InstallAgentCache, CacheDirectoryLiesBelowHome) {
  const std::string subpath = ".vorpex/app_installer_cache/V3318k/osxi64/";
  const struct {
    std::optional<std::string> home;
    std::string expected;
  } cases[] = {
      {"/Users/u", "/Users/u/" + subpath},
      {"/Users/u/", "/Users/u/" + subpath},
      {"/", "/" + subpath},
      {std::nullopt, "/tmp/" + subpath},
      {"", "/tmp/" + subpath},
      {"x", "x" + subpath},  // One character gets no separator.
  };
  for (const auto& c : cases) {
    ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(c.expected, getInstallAgentCacheDir())
        << c.home.value_or("unset");
  }
}

TEST(InstallAgentCache, LauncherPathInsideADirectory) {
  EXPECT_EQ("/opt/agent/install", getInstallAgentExecutable("/opt/agent"));
  EXPECT_EQ("/opt/agent/install", getInstallAgentExecutable("/opt/agent/"));
  EXPECT_EQ("install", getInstallAgentExecutable(""));
}

TEST(InstallAgentCache, AgentCountsAsPresentOnlyWithItsLauncher) {
  testing_env::ScratchDirectory home;
  ScopedEnvironment setHome("HOME", home.path());
  const std::string agentDir = getInstallAgentCacheDir() + "installagent/";
  EXPECT_EQ("", installAgentDirOnDisk());

  std::filesystem::create_directories(agentDir);
  EXPECT_EQ("", installAgentDirOnDisk());
  EXPECT_FALSE(hasInstallAgentExecutable(agentDir));

  testing_env::writeFile(agentDir + "install", "exit 0\n");
  EXPECT_TRUE(hasInstallAgentExecutable(agentDir));
  EXPECT_EQ(home / ".vorpex/app_installer_cache/V3318k/osxi64/installagent/",
            installAgentDirOnDisk());
}

}  // namespace
