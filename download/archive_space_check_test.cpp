#include "download/archive_space_check.h"

#include "gtest/gtest.h"
#include "platform/os/service.h"
#include "testing/fake_file_manager.h"

namespace {

constexpr std::uint64_t kMiB = 1 << 20;

platform::URLResponse announcing(std::int64_t mib, const char* etag = "\"2\"") {
  platform::URLResponse response;
  response.expectedContentLength = mib < 0 ? -1 : mib * std::int64_t{kMiB};
  response.headerFields = {{"ETag", etag}};
  return response;
}

TEST(ArchiveSpaceCheck, TheArchiveAndItsCopyMustFitAboveTheReserve) {
  platform::FakeFileManager files;
  platform::ScopedService<platform::FileManager> service(&files);
  // 40 MiB free of 100: an eighth, 12.5 MiB, is kept free.
  files.disks["/w"] = platform::DiskSpace{1, 40 * kMiB, 100 * kMiB};
  auto refuse = [&](std::uint64_t cacheDisk, std::uint64_t cacheFree,
                    std::int64_t mib, std::int64_t offsetMiB = 0) {
    files.disks["/c"] =
        platform::DiskSpace{cacheDisk, cacheFree * kMiB, 1000 * kMiB};
    return ArchiveSpaceCheck("/w/a.zip", "/c/", "\"1\"")
        .refuseBody(announcing(mib), offsetMiB * std::int64_t{kMiB});
  };
  EXPECT_EQ("", refuse(2, 500, 27));
  EXPECT_EQ("", refuse(2, 500, -1));
  EXPECT_EQ("", refuse(2, 500, 20, 30));  // resumed: only the rest comes
  EXPECT_EQ(
      "Not enough disk space in /w: the installer needs 43 MB, 40 MB "
      "are free.",
      refuse(2, 500, 30));
  // One disk for both: the copy of the whole archive counts there too.
  EXPECT_EQ("", refuse(1, 40, 5, 15));
  EXPECT_EQ(
      "Not enough disk space in /w: the installer needs 53 MB, 40 MB "
      "are free.",
      refuse(1, 40, 20));
  // A full cache leaves the copy to the working directory, if it has room.
  EXPECT_EQ("", refuse(2, 70, 13));
  EXPECT_EQ(
      "Not enough disk space in /c: the installer needs 84 MB, 70 MB "
      "are free.",
      refuse(2, 70, 20));
  // The cached agent's ETag: the cache starts it, the body is dropped.
  EXPECT_EQ("", ArchiveSpaceCheck("/w/a.zip", "/c/", "\"1\"")
                    .refuseBody(announcing(1000, "\"1\""), 0));
}

TEST(ArchiveSpaceCheck, TheBodyStopsUnderTheReserveOrPastTheLargestLength) {
  platform::FakeFileManager files;
  platform::ScopedService<platform::FileManager> service(&files);
  // An 8 MiB disk keeps 1 MiB free.
  files.disks["/w"] = platform::DiskSpace{1, 3 * kMiB, 8 * kMiB};
  ArchiveSpaceCheck check("/w/a.zip", "/c/", std::nullopt, 5 * kMiB);
  EXPECT_EQ("The installer is larger than 5 MB.",
            check.refuseBody(announcing(2), 4 * kMiB));
  EXPECT_EQ("", check.refuseBody(announcing(-1), 0));
  // The free space is read once per quarter megabyte.
  for (std::uint64_t length = 16 * 1024; length <= kMiB; length += 16 * 1024) {
    EXPECT_EQ("", check.refuseGrowth(length));
  }
  EXPECT_EQ(4, files.spaceReads);
  files.disks["/w"]->available = kMiB - 1;
  EXPECT_EQ("", check.refuseGrowth(kMiB + 15 * 1024));
  EXPECT_EQ(
      "Not enough disk space in /w: only 0 MB are free after 1 MB of "
      "the installer arrived.",
      check.refuseGrowth(kMiB + 16 * 1024));
  // A body that starts over is measured at once.
  files.disks["/w"]->available = 3 * kMiB;
  EXPECT_EQ("", check.refuseBody(announcing(-1), 0));
  EXPECT_EQ("", check.refuseGrowth(5 * kMiB));
  EXPECT_EQ("The installer is larger than 5 MB.",
            check.refuseGrowth(5 * kMiB + 1));
}

}  // namespace
