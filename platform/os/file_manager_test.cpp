#include "platform/os/file_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "testing/test_env.h"

namespace {

using testing_env::exists;

TEST(AppendPathComponent, JoinsWithExactlyOneSeparator) {
  EXPECT_EQ("/tmp/qz", platform::appendPathComponent("/tmp", "qz"));
  EXPECT_EQ("/tmp/qz", platform::appendPathComponent("/tmp/", "qz"));
  EXPECT_EQ("/tmp/qz", platform::appendPathComponent("/tmp//", "qz"));
  EXPECT_EQ("/qz", platform::appendPathComponent("/", "qz"));
  EXPECT_EQ("qz", platform::appendPathComponent("", "qz"));
}

TEST(RealFileManager, RemovesATreeWithoutFollowingLinks) {
  testing_env::ScratchDirectory scratch;
  std::filesystem::create_directories(scratch / "tree/sub");
  std::filesystem::create_directories(scratch / "outside");
  testing_env::writeFile(scratch / "tree/sub/file", "x");
  testing_env::writeFile(scratch / "outside/kept", "x");
  ASSERT_EQ(0, symlink((scratch / "outside").c_str(),
                       (scratch / "tree/link").c_str()));

  platform::FileManager& files = platform::FileManager::Real();
  EXPECT_TRUE(files.removeItemAtPath(scratch / "tree"));
  EXPECT_FALSE(exists(scratch / "tree"));
  EXPECT_TRUE(exists(scratch / "outside/kept"));
  // Nothing there is nothing left.
  EXPECT_TRUE(files.removeItemAtPath(scratch / "tree"));
}

TEST(RealFileManager, DiskSpaceOfAPathNotYetMadeIsItsAncestorsDisk) {
  testing_env::ScratchDirectory scratch;
  platform::FileManager& files = platform::FileManager::Real();
  const auto here = files.diskSpaceAt(scratch.path());
  const auto below = files.diskSpaceAt(scratch / "not/yet/made/");
  ASSERT_TRUE(here && below);
  EXPECT_EQ(here->fileSystem, below->fileSystem);
  EXPECT_GT(here->size, 0u);
  EXPECT_LE(here->available, here->size);
  // /proc is a file system of its own.
  const auto proc = files.diskSpaceAt("/proc/self");
  ASSERT_TRUE(proc);
  EXPECT_NE(here->fileSystem, proc->fileSystem);
}

}  // namespace
