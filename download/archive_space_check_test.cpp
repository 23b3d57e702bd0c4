#include "download/archive_space_check.h"

#include "gtest/gtest.h"
#include "platform/os/service.h"
#include "testing/fake_file_manager.h"

namespace {

constexpr std::int64_t kMiB = 1 << 20;

platform::DiskSpace disk(std::uint64_t device, std::int64_t availableMiB,
                         std::int64_t sizeMiB) {
  return {device, static_cast<std::uint64_t>(availableMiB * kMiB),
          static_cast<std::uint64_t>(sizeMiB * kMiB)};
}

platform::URLResponse announcing(std::int64_t length,
                                 const std::string& etag = "\"v2\"") {
  platform::URLResponse response;
  response.statusCode = 200;
  response.expectedContentLength = length;
  response.headerFields = {{"ETag", etag}};
  return response;
}

class ArchiveSpaceCheckTest : public testing::Test {
 protected:
  std::string refuse(std::int64_t length, std::int64_t offset = 0) {
    return ArchiveSpaceCheck("/tmp/qz1/InstallAgent.zip", "/c/", "\"v1\"")
        .refuseBody(announcing(length), offset);
  }

  platform::FakeFileManager files;
  platform::ScopedService<platform::FileManager> service{&files};
};

TEST_F(ArchiveSpaceCheckTest, AnnouncedLengthNeedsRoomForArchiveAndCopy) {
  // 40 MiB free of 100 MiB: a reserve of an eighth, 12.5 MiB, stays free.
  files.disks["/tmp/qz1"] = disk(1, 40, 100);
  files.disks["/c"] = disk(2, 500, 1000);
  EXPECT_EQ("", refuse(27 * kMiB));
  EXPECT_EQ("", refuse(-1));
  EXPECT_EQ(
      "Not enough disk space in /tmp/qz1: the installer needs 43 MB, 40 MB "
      "are free.",
      refuse(30 * kMiB));
  // Resumed, only the rest is still to come.
  EXPECT_EQ("", refuse(20 * kMiB, 30 * kMiB));
  // The cached agent's ETag: the cache starts it, no body is kept.
  EXPECT_EQ("", ArchiveSpaceCheck("/tmp/qz1/a", "/c/", "\"v1\"")
                    .refuseBody(announcing(1000 * kMiB, "\"v1\""), 0));

  // The cache on the same disk: its copy of the whole counts there too.
  files.disks["/c"] = disk(1, 40, 100);
  EXPECT_EQ("", refuse(13 * kMiB));
  EXPECT_EQ(
      "Not enough disk space in /tmp/qz1: the installer needs 53 MB, 40 MB "
      "are free.",
      refuse(20 * kMiB));
  EXPECT_EQ("", refuse(5 * kMiB, 15 * kMiB));

  // A full cache leaves the copy to the working directory, if it has room.
  files.disks["/c"] = disk(2, 70, 1000);
  EXPECT_EQ("", refuse(13 * kMiB));
  EXPECT_EQ(
      "Not enough disk space in /c: the installer needs 84 MB, 70 MB are "
      "free.",
      refuse(20 * kMiB));

  // Unreadable disks stop nothing here; the writes still fail on a full one.
  files.disks["/tmp/qz1"] = std::nullopt;
  EXPECT_EQ("", refuse(1000 * kMiB));
}

TEST_F(ArchiveSpaceCheckTest, BodyStopsUnderTheReserveOrPastTheLargestLength) {
  // An 8 MiB disk keeps 1 MiB free.
  files.disks["/tmp/qz1"] = disk(1, 3, 8);
  ArchiveSpaceCheck check("/tmp/qz1/InstallAgent.zip", "/c/", std::nullopt,
                          5 * kMiB);
  EXPECT_EQ("The installer is larger than 5 MB.",
            check.refuseBody(announcing(kMiB + 1), 4 * kMiB));
  EXPECT_EQ("", check.refuseBody(announcing(-1), 0));

  // The free space is read once per quarter megabyte that arrives.
  for (std::int64_t length = 16 * 1024; length <= kMiB; length += 16 * 1024) {
    EXPECT_EQ("", check.refuseGrowth(length));
  }
  EXPECT_EQ(4, files.spaceReads);
  files.disks["/tmp/qz1"] = disk(1, 0, 8);
  EXPECT_EQ("", check.refuseGrowth(kMiB + 15 * 1024));
  EXPECT_EQ(
      "Not enough disk space in /tmp/qz1: only 0 MB are free after 1 MB of "
      "the installer arrived.",
      check.refuseGrowth(kMiB + 16 * 1024));

  // A body that starts over is read again at once; past the largest length
  // it stops whatever the disk.
  files.disks["/tmp/qz1"] = disk(1, 3, 8);
  EXPECT_EQ("", check.refuseBody(announcing(-1), 0));
  EXPECT_EQ("", check.refuseGrowth(5 * kMiB));
  EXPECT_EQ("The installer is larger than 5 MB.",
            check.refuseGrowth(5 * kMiB + 1));
}

}  // namespace
