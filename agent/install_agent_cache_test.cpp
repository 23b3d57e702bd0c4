#include "agent/install_agent_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/os/service.h"
#include "testing/fake_user_account.h"
#include "testing/test_env.h"

namespace {

using testing_env::ScopedEnvironment;

TEST(InstallAgentCache, CacheDirectoryLiesBelowHome) {
  // Without an absolute HOME, the account's home from the password
  // database counts.
  const std::string subpath = ".vorpex/app_installer_cache/V3318k/osxi64/";
  platform::FakeUserAccount account("/home/u");
  platform::ScopedService<platform::UserAccount> service(&account);
  const struct {
    std::optional<std::string> home;
    std::string expected;
  } cases[] = {
      {"/Users/u", "/Users/u/" + subpath},
      {"/Users/u/", "/Users/u/" + subpath},
      {"/", "/" + subpath},
      {std::nullopt, "/home/u/" + subpath},
      {"", "/home/u/" + subpath},
      {"-x", "/home/u/" + subpath},
      {"home/u", "/home/u/" + subpath},
  };
  for (const auto& c : cases) {
    ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(c.expected, getInstallAgentCacheDir())
        << c.home.value_or("unset");
  }
  // An account without a home of its own, or with a relative one.
  ScopedEnvironment home("HOME", std::nullopt);
  account.home.reset();
  EXPECT_EQ("/tmp/" + subpath, getInstallAgentCacheDir());
  account.home = "u";
  EXPECT_EQ("/tmp/" + subpath, getInstallAgentCacheDir());
}

TEST(InstallAgentCache, LauncherPathInsideADirectory) {
  EXPECT_EQ("/opt/agent/install", getInstallAgentExecutable("/opt/agent"));
  EXPECT_EQ("/opt/agent/install", getInstallAgentExecutable("/opt/agent/"));
  EXPECT_EQ("install", getInstallAgentExecutable(""));
}

TEST(InstallAgentCache, OnlyAFileCountsAsLauncher) {
  testing_env::ScratchDirectory agent;
  EXPECT_FALSE(hasInstallAgentExecutable(agent.path()));
  std::filesystem::create_directory(agent / "install");
  EXPECT_FALSE(hasInstallAgentExecutable(agent.path()));
  std::filesystem::remove(agent / "install");
  testing_env::writeFile(agent / "install", "exit 0\n");
  EXPECT_TRUE(hasInstallAgentExecutable(agent.path()));
}

}  // namespace
