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
#include "agent/cache_locks.h"
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

const std::string kOrigin = "https://127.0.0.1/agent.zip";

// The real cache below a scratch HOME, with the agent's start recorded.
class DiskAgentCacheTest : public testing::Test {
 protected:
  AgentCache& cache() { return AgentCache::Real(); }
  std::string cacheDir() const { return getInstallAgentCacheDir(); }
  // The current agent's directory, where the cache's link points.
  std::string agentDir() const {
    return cacheDir() + fs::read_symlink(cacheDir() + "installagent").string();
  }
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
  // new archive becomes the current agent whole and starts through /bin/sh,
  // holding its own directory for as long as it runs.
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), std::nullopt)
      << "no cache yet";
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({{"old.dat", ""}}),
                                    std::nullopt, "\"v1\"", nullptr),
            Outcome::kStarted);
  const std::string first = agentDir();
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), "\"v1\"");
  // An ETag is the server's own: another URL is not offered it.
  EXPECT_EQ(cache().offeredStamp("https://mirror.example/agent.zip",
                                 std::nullopt),
            std::nullopt);
  process.args = {"/Applications/X.app/Contents/MacOS/X", "--mode unattended",
                  "it's \"quoted\"", "$HOME", ""};
  bool heldWhileStarting = false;
  tasks.onLaunch = [&] {
    heldWhileStarting =
        !AgentDirLock(agentDir(), AgentDirLock::Mode::kExclusive).locked();
  };
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({{"agent.dat", "new"}}),
                                    std::nullopt, "\"v2\"", nullptr),
            Outcome::kStarted);

  EXPECT_TRUE(heldWhileStarting);
  EXPECT_EQ(stamp(), "\"v2\"");
  EXPECT_FALSE(exists(first)) << "no agent holds the old one any more";
  EXPECT_EQ(readFile(cacheDir() + "installagent/agent.dat"), "new");
  EXPECT_EQ(cacheEntries(),
            (std::set<std::string>{"installagent", ".validatestring",
                                   fs::path(agentDir()).filename()}));
  struct stat info;
  ASSERT_EQ(stat(agentDir().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(tasks.launches.size(), 2u);
  EXPECT_EQ(tasks.launches[1].launchPath, "/bin/sh");
  EXPECT_EQ(tasks.launches[1].arguments,
            (std::vector<std::string>{
                "--", agentDir() + "/install", "-installbundle",
                bundle.resources() + "/bundle.zip", "--mode unattended",
                "it's \"quoted\"", "$HOME", ""}));
  EXPECT_FALSE(tasks.launches[1].options.waitForExit);

  // Only the stamp byte for byte starts the cached agent, and only after
  // the caller had its say.
  for (const std::optional<std::string>& other :
       {std::optional<std::string>("\"v1\""), std::optional<std::string>("v2"),
        std::optional<std::string>(""), std::optional<std::string>()}) {
    EXPECT_EQ(cache().startIfCurrent(other, std::nullopt,
                                     [] {
                                       ADD_FAILURE();
                                       return true;
                                     }),
              Outcome::kNotCurrent);
  }
  std::size_t launchesBefore = 99;
  EXPECT_EQ(cache().startIfCurrent("\"v2\"", std::nullopt,
                                   [&] {
                                     launchesBefore = tasks.launches.size();
                                     return true;
                                   }),
            Outcome::kStarted);
  EXPECT_EQ(launchesBefore, 2u);
  EXPECT_EQ(tasks.launches.size(), 3u);
  EXPECT_EQ(
      cache().startIfCurrent("\"v2\"", std::nullopt, [] { return false; }),
      Outcome::kCalledOff);
  EXPECT_EQ(tasks.launches.size(), 3u) << "called off, nothing started";
  tasks.result = false;
  EXPECT_EQ(cache().startIfCurrent("\"v2\"", std::nullopt, nullptr),
            Outcome::kNotStarted);

  // A stamp without its agent is neither offered nor trusted.
  fs::remove(agentDir() + "/install");
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"v2\"", std::nullopt, nullptr),
            Outcome::kNotCurrent);
}

TEST_F(DiskAgentCacheTest, OnlyTheETagAnAgentCameWithVouchesForIt) {
  // An agent installed without an ETag takes the old stamp with it.
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt,
                                    "\"e1\"", nullptr),
            Outcome::kStarted);
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt,
                                    std::nullopt, nullptr),
            Outcome::kStarted);
  EXPECT_FALSE(exists(cacheDir() + ".validatestring"));
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"e1\"", std::nullopt, nullptr),
            Outcome::kNotCurrent);

  // A stamp too long for a request header is kept, not offered, and still
  // vouches for its agent when the server sends it again.
  const std::string huge = "\"" + std::string(90 * 1024, 'x') + "\"";
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt, huge,
                                    nullptr),
            Outcome::kStarted);
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent(huge, std::nullopt, nullptr),
            Outcome::kStarted);
  const std::string bound = "\"" + std::string(4094, 'y') + "\"";
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt, bound,
                                    nullptr),
            Outcome::kStarted);
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), bound);

  // An ETag that is no entity-tag is not stored; one an older release
  // stored is compared but never offered.
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt,
                                    "\"a\rb\"", nullptr),
            Outcome::kStarted);
  EXPECT_FALSE(exists(cacheDir() + ".validatestring"));
  writeFile(cacheDir() + ".validatestring", "\"a\rb\"");
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"a\rb\"", std::nullopt, nullptr),
            Outcome::kStarted);
}

TEST_F(DiskAgentCacheTest, AnArchiveThatFailsLeavesTheCacheAsItWas) {
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({{"old.dat", "kept"}}),
                                    std::nullopt, "\"v1\"", nullptr),
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
    EXPECT_EQ(
        cache().installAndStart(kOrigin, path, std::nullopt, "\"v2\"", nullptr),
        Outcome::kUnpackFailed);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Failed to unzip the install agent\n"),
              std::string::npos);
  }
  // An archive without a launcher.
  fs::remove(path);
  ASSERT_TRUE(testing_env::makeZip(path, {{"readme.txt", ""}}));
  EXPECT_EQ(
      cache().installAndStart(kOrigin, path, std::nullopt, "\"v2\"", nullptr),
      Outcome::kIncomplete);

  EXPECT_EQ(readFile(agentDir() + "/old.dat"), "kept");
  EXPECT_EQ(readFile(agentDir() + "/install"), testing_env::kRecordingLauncher);
  EXPECT_EQ(stamp(), "\"v1\"");
  EXPECT_EQ(cacheEntries().size(), 3u);
  EXPECT_EQ(tasks.launches.size(), 1u);
}

TEST_F(DiskAgentCacheTest, AnAgentInstalledMeanwhileWithTheSameETagIsKept) {
  // Another run installed its agent while this one downloaded: under the
  // same ETag it stays, and is started; under another one, ours replaces it.
  for (const char* theirs : {"\"v1\"", "\"v0\""}) {
    SCOPED_TRACE(theirs);
    ASSERT_EQ(cache().installAndStart(kOrigin, archive({{"theirs", ""}}),
                                      std::nullopt, theirs, nullptr),
              Outcome::kStarted);
    EXPECT_EQ(cache().installAndStart(kOrigin, archive({{"ours", ""}}),
                                      std::nullopt, "\"v1\"", nullptr),
              Outcome::kStarted);
    const bool kept = std::string(theirs) == "\"v1\"";
    EXPECT_EQ(exists(agentDir() + "/theirs"), kept);
    EXPECT_EQ(exists(agentDir() + "/ours"), !kept);
    EXPECT_EQ(stamp(), "\"v1\"");
  }
}

TEST_F(DiskAgentCacheTest, ABundleWithAKeyTrustsOnlyAgentsVerifiedWithIt) {
  // Given an agent a keyless bundle cached, whose archive claims to have
  // been verified with the key: a bundle with the key neither offers nor
  // starts it, and one without a key still does.
  const KeyId keyId{1, 2, 3, 4, 5, 6, 7, 8};
  const AgentCache::TrustedKeys key = std::vector<KeyId>{keyId};
  const AgentCache::TrustedKeys otherKey =
      std::vector<KeyId>{KeyId{8, 7, 6, 5, 4, 3, 2, 1}};
  ASSERT_EQ(cache().installAndStart(
                kOrigin, archive({{".verifiedkey", "0807060504030201\n"}}),
                std::nullopt, "\"v1\"", nullptr),
            Outcome::kStarted);
  EXPECT_EQ(cache().offeredStamp(kOrigin, key), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"v1\"", key, nullptr),
            Outcome::kNotCurrent);
  EXPECT_EQ(cache().startIfCurrent("\"v1\"", std::nullopt, nullptr),
            Outcome::kStarted);

  // The verified archive comes under the same ETag and replaces it. It is
  // unpacked from the file that was checked, though another took its path
  // since.
  const std::string path = archive({{"verified", ""}});
  const platform::UniqueFd verified(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  archive({{"swapped", ""}});
  ASSERT_EQ(
      cache().installAndStart(kOrigin, path,
                              AgentCache::Verification{
                                  SignedRelease{keyId, {}, {}}, verified.get()},
                              "\"v1\"", nullptr),
      Outcome::kStarted);
  EXPECT_TRUE(exists(agentDir() + "/verified"));
  EXPECT_FALSE(exists(agentDir() + "/swapped"));
  EXPECT_EQ(cache().offeredStamp(kOrigin, key), "\"v1\"");
  EXPECT_EQ(cache().startIfCurrent("\"v1\"", key, nullptr), Outcome::kStarted);
  // A vendor's new key trusts nothing the old one verified.
  EXPECT_EQ(cache().offeredStamp(kOrigin, otherKey), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"v1\"", otherKey, nullptr),
            Outcome::kNotCurrent);
}

TEST_F(DiskAgentCacheTest, LeftoversGoAndWhatIsNotALinkIsReplaced) {
  // Unpacked directories of killed runs, one of them made unwritable, a
  // stamp being written; one directory is still held by a running agent.
  fs::create_directories(cacheDir() + "installagent.killed/sub");
  fs::permissions(cacheDir() + "installagent.killed/sub",
                  fs::perms::owner_read);
  fs::create_directories(cacheDir() + "installagent.inuse");
  writeFile(cacheDir() + ".validatestring.abcdef", "");
  const AgentDirLock running(cacheDir() + "installagent.inuse",
                             AgentDirLock::Mode::kShared);
  // In the agent's place: a plain file, then a directory of the old layout.
  writeFile(cacheDir() + "installagent", "");
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt,
                                    "\"v1\"", nullptr),
            Outcome::kStarted);
  EXPECT_EQ(cacheEntries(),
            (std::set<std::string>{"installagent", "installagent.inuse",
                                   ".validatestring",
                                   fs::path(agentDir()).filename()}));

  fs::remove(cacheDir() + "installagent");
  fs::create_directories(cacheDir() + "installagent");
  writeFile(cacheDir() + "installagent/install", "exit 0\n");
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"v1\"", std::nullopt, nullptr),
            Outcome::kNotCurrent);
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt,
                                    "\"v1\"", nullptr),
            Outcome::kStarted);
  EXPECT_TRUE(fs::is_symlink(cacheDir() + "installagent"));
  EXPECT_EQ(cacheEntries().size(), 4u);
}

TEST_F(DiskAgentCacheTest, ACacheOthersMayChangeIsNotUsed) {
  // A cache others may write: its agent is not trusted, and a download runs
  // from beside the archive, waited for, with one line in the log.
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({{"cached", ""}}),
                                    std::nullopt, "\"v1\"", nullptr),
            Outcome::kStarted);
  fs::permissions(cacheDir(), fs::perms::group_write, fs::perm_options::add);
  EXPECT_EQ(cache().offeredStamp(kOrigin, std::nullopt), std::nullopt);
  EXPECT_EQ(cache().startIfCurrent("\"v1\"", std::nullopt, nullptr),
            Outcome::kNotCurrent);
  const std::set<std::string> before = cacheEntries();
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt,
                                    "\"v2\"", nullptr),
            Outcome::kStarted);

  EXPECT_EQ(cacheEntries(), before);
  EXPECT_EQ(stamp(), "\"v1\"");
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "Installing without the agent cache: " +
                              cacheDir().substr(0, cacheDir().size() - 1) +
                              " is not a directory of this user's that only "
                              "the user may change.");
  ASSERT_EQ(tasks.launches.size(), 2u);
  const std::string launcher = tasks.launches[1].arguments[1];
  EXPECT_EQ(fs::path(launcher).parent_path().parent_path(), bundle.root());
  EXPECT_TRUE(tasks.launches[1].options.waitForExit);
  EXPECT_FALSE(exists(launcher)) << "removed once the agent ended";
}

TEST_F(DiskAgentCacheTest, TheCacheIsLookedAtAndChangedOnlyUnderItsLock) {
  // While another run holds the cache's lock, this one neither trusts nor
  // installs nor starts an agent; once it lets go, this run goes on.
  ASSERT_EQ(cache().installAndStart(kOrigin, archive({}), std::nullopt,
                                    "\"v1\"", nullptr),
            Outcome::kStarted);
  for (bool cached : {true, false}) {
    SCOPED_TRACE(cached ? "cached agent" : "new archive");
    tasks.launches.clear();
    platform::UniqueFd other(open(cacheDir().c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(flock(other.get(), LOCK_EX), 0);

    Outcome outcome = Outcome::kNotCurrent;
    std::thread run([&] {
      outcome = cached
                    ? cache().startIfCurrent("\"v1\"", std::nullopt, nullptr)
                    : cache().installAndStart(kOrigin, archive({}),
                                              std::nullopt, "\"v2\"", nullptr);
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
