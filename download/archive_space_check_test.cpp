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

class ArchiveSpaceCheckTest : public testing::Test {
 protected:
  ArchiveSpaceCheck check() { return {"/tmp/qz1/InstallAgent.zip", "/c/"}; }

  platform::FakeFileManager files;
  platform::ScopedService<platform::FileManager> service{&files};
};

TEST_F(ArchiveSpaceCheckTest, AnnouncedLengthNeedsRoomForArchiveAndCopy) {
  // 40 MiB free of 100 MiB: a reserve of an eighth, 12.5 MiB, stays free.
  files.disks["/tmp/qz1"] = disk(1, 40, 100);
  files.disks["/c"] = disk(2, 500, 1000);
  EXPECT_EQ("", check().checkAnnounced(27 * kMiB));
  EXPECT_EQ("", check().checkAnnounced(-1));
  EXPECT_EQ(
      "Not enough disk space in /tmp/qz1: the installer needs 43 MB, 40 MB "
      "are free.",
      check().checkAnnounced(30 * kMiB));

  // The cache on the same disk: its copy counts there too.
  files.disks["/c"] = disk(1, 40, 100);
  EXPECT_EQ("", check().checkAnnounced(13 * kMiB));
  EXPECT_EQ(
      "Not enough disk space in /tmp/qz1: the installer needs 53 MB, 40 MB "
      "are free.",
      check().checkAnnounced(20 * kMiB));

  // A full cache leaves the copy to the working directory, if it has room.
  files.disks["/c"] = disk(2, 70, 1000);
  EXPECT_EQ("", check().checkAnnounced(13 * kMiB));
  EXPECT_EQ(
      "Not enough disk space in /c: the installer needs 84 MB, 70 MB are "
      "free.",
      check().checkAnnounced(20 * kMiB));

  // Unreadable disks stop nothing here; the writes still fail on a full one.
  files.disks["/tmp/qz1"] = std::nullopt;
  EXPECT_EQ("", check().checkAnnounced(1000 * kMiB));
}

TEST_F(ArchiveSpaceCheckTest, BodyStopsUnderTheReserveOrPastTheLargestLength) {
  // An 8 MiB disk keeps 1 MiB free.
  files.disks["/tmp/qz1"] = disk(1, 3, 8);
  ArchiveSpaceCheck check("/tmp/qz1/InstallAgent.zip", "/c/", 5 * kMiB);
  EXPECT_EQ("The installer is larger than 5 MB.",
            check.checkAnnounced(5 * kMiB + 1));
  EXPECT_EQ("", check.checkAnnounced(-1));

  // The free space is read once per quarter megabyte that arrives.
  for (std::int64_t received = 0; received <= kMiB; received += 16 * 1024) {
    EXPECT_EQ("", check.checkReceived(received));
  }
  EXPECT_EQ(5, files.spaceReads);
  files.disks["/tmp/qz1"] = disk(1, 0, 8);
  check.checkReceived(kMiB + kMiB / 4 - 1);
  EXPECT_EQ(
      "Not enough disk space in /tmp/qz1: only 0 MB are free after 1 MB of "
      "the installer arrived.",
      check.checkReceived(kMiB + kMiB / 4));

  // A body that starts over is read again at once; past the largest length
  // it stops whatever the disk.
  files.disks["/tmp/qz1"] = disk(1, 3, 8);
  EXPECT_EQ("", check.checkAnnounced(-1));
  EXPECT_EQ("", check.checkReceived(5 * kMiB));
  EXPECT_EQ("The installer is larger than 5 MB.",
            check.checkReceived(5 * kMiB + 1));
}

}  // namespace
