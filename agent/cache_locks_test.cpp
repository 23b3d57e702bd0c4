#include "agent/cache_locks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/os/unique_fd.h"
#include "testing/test_env.h"

extern char** environ;

namespace {

using testing_env::ScratchDirectory;

// Whether another open of "dir" could take the lock at once.
bool lockIsFree(const std::string& dir) {
  const platform::UniqueFd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY));
  return fd.valid() && flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

TEST(CacheLock, HoldsTheDirectoryItselfUntilDestroyed) {
  ScratchDirectory cache;
  {
    const CacheLock lock(cache.path());
    EXPECT_TRUE(lock.locked());
    EXPECT_FALSE(lockIsFree(cache.path()));
  }
  EXPECT_TRUE(lockIsFree(cache.path()));
  EXPECT_TRUE(std::filesystem::is_empty(cache.path())) << "no lock file";
}

TEST(CacheLock, WaitsUntilTheHolderLetsGo) {
  // Given another holder, a second lock is taken only once it lets go.
  ScratchDirectory cache;
  platform::UniqueFd holder(open(cache.path().c_str(), O_RDONLY | O_DIRECTORY));
  ASSERT_EQ(flock(holder.get(), LOCK_EX), 0);

  std::atomic<bool> taken{false};
  std::thread waiter([&] {
    const CacheLock lock(cache.path());
    taken = lock.locked();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(taken);
  holder.reset();
  waiter.join();
  EXPECT_TRUE(taken);
}

TEST(CacheLock, IsNotKeptByAProgramStartedUnderIt) {
  // An agent started while the lock is held outlives the run; it must not
  // keep every later run waiting.
  ScratchDirectory cache;
  pid_t child = -1;
  {
    const CacheLock lock(cache.path());
    char sleep[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleep, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ),
              0);
  }
  EXPECT_TRUE(lockIsFree(cache.path()));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST(CacheLock, AMissingDirectoryHoldsNothing) {
  ScratchDirectory scratch;
  EXPECT_FALSE(CacheLock(scratch / "missing").locked());
  testing_env::writeFile(scratch / "file", "");
  EXPECT_FALSE(CacheLock(scratch / "file").locked());
}

}  // namespace
