#include "agent/staged_agent.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "agent/validation_stamp.h"
#include "testing/test_env.h"

namespace {

namespace fs = std::filesystem;
using testing_env::exists;
using testing_env::readFile;
using testing_env::ScratchDirectory;
using testing_env::writeFile;

// The names in "dir".
std::set<std::string> entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

class StagedAgentTest : public testing::Test {
 protected:
  // As getInstallAgentCacheDir() gives it, with its separator.
  std::string cacheDir() const { return cache_.path() + "/"; }
  std::string agentDir() const { return cache_ / "installagent"; }

  ScratchDirectory cache_;
};

TEST_F(StagedAgentTest, ReplacesTheAgentAndItsStamp) {
  // Given a cached agent of another version, a staged one takes its place
  // whole and under its own stamp, and nothing else is left beside it.
  fs::create_directory(agentDir());
  writeFile(agentDir() + "/install", "old");
  writeFile(agentDir() + "/old.dat", "old");
  writeValidationString(cacheDir(), "\"v1\"");

  StagedAgent staged(cacheDir());
  const std::string path = staged.path();
  EXPECT_EQ(fs::path(path).parent_path(), fs::path(cache_.path()));
  EXPECT_EQ(fs::path(path).filename().string().rfind("installagent.", 0), 0u)
      << path;
  writeFile(path + "/install", "new");
  writeFile(path + "/new.dat", "new");

  EXPECT_TRUE(staged.install("\"v2\""));
  EXPECT_EQ(staged.path(), "");
  EXPECT_EQ(entries(agentDir()), (std::set<std::string>{"install", "new.dat"}));
  EXPECT_EQ(readFile(agentDir() + "/install"), "new");
  EXPECT_EQ(readFile(cache_ / ".validatestring"), "\"v2\"");
  EXPECT_EQ(entries(cache_.path()),
            (std::set<std::string>{"installagent", ".validatestring"}));
  EXPECT_EQ(staged.error(), "");
}

TEST_F(StagedAgentTest, TakesTheEmptyOrMissingAgentDirectorysPlace) {
  for (bool empty : {true, false}) {
    SCOPED_TRACE(empty ? "empty agent directory" : "no agent directory");
    fs::remove_all(agentDir());
    if (empty) fs::create_directory(agentDir());
    StagedAgent staged(cacheDir());
    writeFile(staged.path() + "/install", "new");
    EXPECT_TRUE(staged.install("\"v1\""));
    EXPECT_EQ(readFile(agentDir() + "/install"), "new");
  }
  // No ETag, no stamp: the one stored stays, as writeValidationString has it.
  StagedAgent staged(cacheDir());
  EXPECT_TRUE(staged.install(""));
  EXPECT_EQ(readFile(cache_ / ".validatestring"), "\"v1\"");
}

TEST_F(StagedAgentTest, AnAgentNotInstalledIsRemovedAndTheCacheLeftAlone) {
  fs::create_directory(agentDir());
  writeFile(agentDir() + "/install", "old");
  std::string path;
  {
    StagedAgent staged(cacheDir());
    path = staged.path();
    writeFile(path + "/install", "new");
  }
  EXPECT_FALSE(exists(path));
  EXPECT_EQ(entries(cache_.path()), std::set<std::string>{"installagent"});
  EXPECT_EQ(readFile(agentDir() + "/install"), "old");
}

TEST_F(StagedAgentTest, ACacheThatCannotBeMadeSaysWhy) {
  // A missing cache directory is made; one below a file cannot be.
  const std::string missing = cache_ / "missing/";
  EXPECT_NE(StagedAgent(missing).path(), "");
  EXPECT_TRUE(fs::is_directory(missing));

  writeFile(cache_ / "file", "");
  const std::string belowFile = cache_ / "file/cache/";
  StagedAgent staged(belowFile);
  EXPECT_EQ(staged.path(), "");
  EXPECT_EQ(staged.error(), "Could not create a directory in " + belowFile +
                                ": Not a directory.");
  EXPECT_FALSE(staged.install("\"v1\""));
}

}  // namespace
