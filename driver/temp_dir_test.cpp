#include "driver/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "testing/test_env.h"
#include "testing/fake_temporary_directory.h"
#include "platform/os/service.h"

namespace {

using testing_env::exists;

class TempDirTest : public testing::Test {
 protected:
  testing_env::ScratchDirectory base_;
  platform::FakeTemporaryDirectory temporary_;
  platform::ScopedService<platform::TemporaryDirectory> service_{&temporary_};
};

TEST_F(TempDirTest, MakesFreshPrivateDirectoriesAndRemovesAllTheyHold) {
  temporary_.path = base_.path() + "/";
  testing_env::writeFile(base_ / "neighbour", "x");
  // One separator, then "qz" and six characters; the given name is unused.
  const std::string prefix = base_.path() + "/qz";
  const auto isWorkingDirectory = [&](const std::string& path) {
    return path.size() == prefix.size() + 6 && path.rfind(prefix, 0) == 0;
  };
  std::string first;
  std::string second;
  {
    TempDir one("tmp_install_dir");
    TempDir two("tmp_install_dir");
    first = one.getDir();
    second = two.getDir();
    EXPECT_TRUE(isWorkingDirectory(first)) << first;
    EXPECT_TRUE(isWorkingDirectory(second)) << second;
    EXPECT_NE(first, second);

    struct stat info;
    ASSERT_EQ(0, stat(first.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 07777);
    std::filesystem::create_directories(first + "/sub/deeper");
    testing_env::writeFile(first + "/sub/deeper/file", "x");
  }
  EXPECT_FALSE(exists(first));
  EXPECT_FALSE(exists(second));
  EXPECT_TRUE(exists(base_ / "neighbour"));
}

TEST_F(TempDirTest, VanishedDirectoriesAreNoError) {
  temporary_.path = base_.path();
  TempDir gone("tmp_install_dir");
  std::filesystem::remove(gone.getDir());
}

TEST_F(TempDirTest, TmpServesWhenTheUserTemporaryDirectoryCannot) {
  testing_env::writeFile(base_ / "a-file", "x");
  for (std::optional<std::string> unusable :
       {std::optional<std::string>(), std::optional(base_ / "missing"),
        std::optional(base_ / "a-file")}) {
    temporary_.path = unusable;
    TempDir dir("tmp_install_dir");
    EXPECT_EQ(0u, dir.getDir().rfind("/tmp/qz", 0)) << dir.getDir();
    EXPECT_EQ("", dir.failure());
  }
  EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(base_.path()),
                              std::filesystem::directory_iterator()));
}

}  // namespace
