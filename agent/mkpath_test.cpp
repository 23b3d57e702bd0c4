#include "agent/mkpath.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "testing/test_env.h"

namespace {

using testing_env::exists;
using testing_env::ScratchDirectory;

mode_t permissions(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(Mkpath, CreatesMissingDirectoriesAndAcceptsExistingOnes) {
  ScratchDirectory scratch;
  const mode_t mask = umask(022);

  // Repeated and trailing separators end no extra component.
  EXPECT_EQ(0, mkpath(scratch / "a//b/", 0700));
  EXPECT_EQ(0700u, permissions(scratch / "a"));
  EXPECT_EQ(0700u, permissions(scratch / "a/b"));

  // Existing directories keep their mode; the root is a directory too.
  chmod((scratch / "a").c_str(), 0755);
  EXPECT_EQ(0, mkpath(scratch / "a/b/c", 0700));
  EXPECT_EQ(0755u, permissions(scratch / "a"));
  EXPECT_EQ(0, mkpath("/", 0700));

  // A link to a directory counts as one.
  ASSERT_EQ(0, symlink((scratch / "a").c_str(), (scratch / "link").c_str()));
  EXPECT_EQ(0, mkpath(scratch / "link/d", 0700));
  EXPECT_TRUE(exists(scratch / "a/d"));
  umask(mask);
}

TEST(Mkpath, StopsAtAComponentThatIsNoDirectory) {
  ScratchDirectory scratch;
  testing_env::writeFile(scratch / "f", "");

  errno = 0;
  EXPECT_EQ(-1, mkpath(scratch / "f/x/y", 0700));
  EXPECT_EQ(ENOTDIR, errno);
  errno = 0;
  EXPECT_EQ(-1, mkpath(scratch / "f", 0700));
  EXPECT_EQ(ENOTDIR, errno);

  // A dangling link cannot be made a directory: mkdir's own error.
  ASSERT_EQ(0, symlink((scratch / "nowhere").c_str(),
                       (scratch / "dangling").c_str()));
  errno = 0;
  EXPECT_EQ(-1, mkpath(scratch / "dangling/x", 0700));
  EXPECT_EQ(EEXIST, errno);
  EXPECT_FALSE(exists(scratch / "nowhere"));
}

TEST(Mkpath, ADirectoryThatCannotBeCreatedFailsWithMkdirsError) {
  ScratchDirectory scratch;
  const std::string tooLong = scratch / std::string(300, 'x');
  errno = 0;
  EXPECT_EQ(-1, mkpath(tooLong + "/y", 0700));
  EXPECT_EQ(ENAMETOOLONG, errno);
}

}  // namespace
