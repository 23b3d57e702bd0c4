#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "agent/agent_cache.h"
#include "agent/install_agent_cache.h"
#include "platform/os/service.h"
#include "platform/os/unique_fd.h"
#include "testing/fake_process_info.h"
#include "testing/fake_system_log.h"
#include "testing/fake_task_launcher.h"
#include "testing/test_env.h"

namespace {

namespace fs = std::filesystem;
using Outcome = AgentCache::Outcome;
using testing_env::exists;
using testing_env::readFile;
using testing_env::writeFile;

// The real cache below a scratch HOME, with the agent's start recorded.
class DiskAgentCacheTest : public testing::Test {
 protected:
  AgentCache& cache() { return AgentCache::Real(); }
  std::string cacheDir() const { return getInstallAgentCacheDir(); }
  std::string agentDir() const { return cacheDir() + "installagent"; }
  std::string stamp() const {
    return readFile(cacheDir() + ".validatestring").value_or("(none)");
  }
  std::set<std::string> cacheEntries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(cacheDir())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
  // An archive holding an agent with "files" besides its launcher.
  std::string archive(std::map<std::string, std::string> files) {
    files.emplace("install", testing_env::kRecordingLauncher);
    const std::string path = bundle.root() + "/InstallAgent.zip";
    fs::remove(path);  // the zip tool adds to an existing archive
    EXPECT_TRUE(testing_env::makeZip(path, files));
    return path;
  }

  testing_env::FakeBundle bundle;
  platform::FakeTaskLauncher tasks;
  platform::FakeSystemLog log;
  platform::FakeProcessInfo process{{"/Applications/X.app/Contents/MacOS/X"}};

 private:
  platform::ScopedService<platform::TaskLauncher> taskService_{&tasks};
  platform::ScopedService<platform::SystemLog> logService_{&log};
  platform::ScopedService<platform::ProcessInfo> processService_{&process};
};

TEST_F(DiskAgentCacheTest, InstallsAndStartsAnArchiveThenOffersAndTrustsIt) {
  // Given a user who passed arguments that a shell would split or expand, a
  // new archive replaces the stale agent whole and starts through /bin/sh.
  EXPECT_EQ(cache().offeredStamp(), std::nullopt) << "no cache yet";
  ASSERT_EQ(
      cache().installAndStart(archive({{"old.dat", ""}}), "\"v1\"", nullptr),
      Outcome::kStarted);
  EXPECT_EQ(cache().offeredStamp(), "\"v1\"");
  process.args = {"/Applications/X.app/Contents/MacOS/X", "--mode unattended",
                  "it's \"quoted\"", "$HOME", ""};
  ASSERT_EQ(cache().installAndStart(archive({{"agent.dat", "new"}}), "\"v2\"",
                                    nullptr),
            Outcome::kStarted);

  EXPECT_EQ(stamp(), "\"v2\"");
  EXPECT_FALSE(exists(agentDir() + "/old.dat"));
  EXPECT_EQ(readFile(agentDir() + "/agent.dat"), "new");
  EXPECT_EQ(cacheEntries(),
            (std::set<std::string>{"installagent", ".validatestring"}));
  struct stat info;
  ASSERT_EQ(stat(agentDir().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(tasks.launches.size(), 2u);
  EXPECT_EQ(tasks.launches[1].launchPath, "/bin/sh");
  EXPECT_EQ(tasks.launches[1].arguments,
            (std::vector<std::string>{agentDir() + "/install", "-installbundle",
                                      bundle.resources() + "/bundle.zip",
                                      "--mode unattended", "it's \"quoted\"",
                                      "$HOME", ""}));

  // Only the stamp byte for byte starts the cached agent, and only after
  // the caller had its say.
  for (const std::optional<std::string>& other :
       {std::optional<std::string>("\"v1\""), std::optional<std::string>("v2"),
        std::optional<std::string>(""), std::optional<std::string>()}) {
    EXPECT_EQ(cache().startIfCurrent(other,
                                     [] {
                                       ADD_FAILURE();
                                       return true;
                                     }),
              Outcome::kNotCurrent);
  }
  std::size_t launchesBefore = 99;
  EXPECT_EQ(cache().startIfCurrent("\"v2\"",
                                   [&] {
                                     launchesBefore = tasks.launches.size();
                                     return true;
                                   }),
            Outcome::kStarted);
  EXPECT_EQ(launchesBefore, 2u);
  EXPECT_EQ(tasks.launches.size(), 3u);
  EXPECT_EQ(cache().startIfCurrent("\"v2\"", [] { return false; }),
            Outcome::kCalledOff);
  EXPECT_EQ(tasks.launches.size(), 3u) << "called off, nothing started";
  tasks.result = false;
  EXPECT_EQ(cache().startIfCurrent("\"v2\"", nullptr), Outcome::kNotStarted);

  // A stamp without its agent is neither offered nor trusted.
  fs::remove(agentDir() + "/install");
  EXPECT_EQ(cache().offeredStamp(), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"v2\"", nullptr), Outcome::kNotCurrent);
}

TEST_F(DiskAgentCacheTest, AnAgentWithoutAnETagLeavesNoStampAndNoOffer) {
  // Into the empty agent directory that the sourcing makes.
  fs::create_directories(agentDir());
  EXPECT_EQ(cache().installAndStart(archive({}), std::nullopt, nullptr),
            Outcome::kStarted);
  EXPECT_FALSE(exists(cacheDir() + ".validatestring"));
  EXPECT_EQ(cache().offeredStamp(), std::nullopt);
}

TEST_F(DiskAgentCacheTest, AnArchiveThatFailsLeavesTheCacheAsItWas) {
  ASSERT_EQ(cache().installAndStart(archive({{"old.dat", "kept"}}), "\"v1\"",
                                    nullptr),
            Outcome::kStarted);
  const std::string path = bundle.root() + "/bad.zip";

  // Not an archive at all; an archive damaged after "install" unpacked fine.
  std::string payload(8192, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  ASSERT_TRUE(testing_env::makeZip(
      path, {{"install", "new"}, {"payload.bin", payload}}));
  std::string damaged = readFile(path).value_or("");
  const std::size_t data = damaged.find("payload.bin") + 11 + 200;
  ASSERT_LT(data + 64, damaged.size());
  for (std::size_t i = data; i < data + 64; ++i) damaged[i] = ~damaged[i];
  for (const std::string& bytes : {std::string("PK\3\4 no archive"), damaged}) {
    writeFile(path, bytes);
    testing::internal::CaptureStderr();
    EXPECT_EQ(cache().installAndStart(path, "\"v2\"", nullptr),
              Outcome::kUnpackFailed);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Failed to unzip the install agent\n"),
              std::string::npos);
  }
  // An archive without a launcher.
  fs::remove(path);
  ASSERT_TRUE(testing_env::makeZip(path, {{"readme.txt", ""}}));
  EXPECT_EQ(cache().installAndStart(path, "\"v2\"", nullptr),
            Outcome::kIncomplete);

  EXPECT_EQ(readFile(agentDir() + "/old.dat"), "kept");
  EXPECT_EQ(readFile(agentDir() + "/install"), testing_env::kRecordingLauncher);
  EXPECT_EQ(stamp(), "\"v1\"");
  EXPECT_EQ(cacheEntries(),
            (std::set<std::string>{"installagent", ".validatestring"}));
  EXPECT_EQ(tasks.launches.size(), 1u);
}

TEST_F(DiskAgentCacheTest, AnAgentInstalledMeanwhileWithTheSameETagIsKept) {
  // Another run installed its agent while this one downloaded: under the
  // same ETag it stays, and is started; under another one, ours replaces it.
  for (const char* theirs : {"\"v1\"", "\"v0\""}) {
    SCOPED_TRACE(theirs);
    ASSERT_EQ(
        cache().installAndStart(archive({{"theirs", ""}}), theirs, nullptr),
        Outcome::kStarted);
    EXPECT_EQ(
        cache().installAndStart(archive({{"ours", ""}}), "\"v1\"", nullptr),
        Outcome::kStarted);
    const bool kept = std::string(theirs) == "\"v1\"";
    EXPECT_EQ(exists(agentDir() + "/theirs"), kept);
    EXPECT_EQ(exists(agentDir() + "/ours"), !kept);
    EXPECT_EQ(stamp(), "\"v1\"");
  }
}

TEST_F(DiskAgentCacheTest, ACacheThatCannotTakeTheAgentSaysWhy) {
  // A file holds the cache's place: nowhere to unpack.
  const std::string dir = cacheDir();
  fs::create_directories(fs::path(dir).parent_path().parent_path());
  writeFile(dir.substr(0, dir.size() - 1), "");

  EXPECT_EQ(cache().installAndStart(archive({}), "\"v1\"", nullptr),
            Outcome::kUnpackFailed);
  EXPECT_EQ(log.lines,
            std::vector<std::string>{"Could not create a directory in " + dir +
                                     ": Not a directory."});
  EXPECT_TRUE(tasks.launches.empty());
}

TEST_F(DiskAgentCacheTest, TheCacheIsLookedAtAndChangedOnlyUnderItsLock) {
  // While another run holds the cache's lock, this one neither trusts nor
  // installs nor starts an agent; once it lets go, this run goes on.
  ASSERT_EQ(cache().installAndStart(archive({}), "\"v1\"", nullptr),
            Outcome::kStarted);
  for (bool cached : {true, false}) {
    SCOPED_TRACE(cached ? "cached agent" : "new archive");
    tasks.launches.clear();
    platform::UniqueFd other(open(cacheDir().c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(flock(other.get(), LOCK_EX), 0);

    Outcome outcome = Outcome::kNotCurrent;
    std::thread run([&] {
      outcome = cached
                    ? cache().startIfCurrent("\"v1\"", nullptr)
                    : cache().installAndStart(archive({}), "\"v2\"", nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(tasks.launches.empty());
    other.reset();
    run.join();
    EXPECT_EQ(outcome, Outcome::kStarted);
    EXPECT_EQ(tasks.launches.size(), 1u);
  }
}

}  // namespace
