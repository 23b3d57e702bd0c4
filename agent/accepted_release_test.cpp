#include "agent/accepted_release.h"

#include <sys/stat.h>

#include <string>

#include "gtest/gtest.h"
#include "testing/test_env.h"

namespace {

SignedRelease release(std::optional<std::int64_t> timestamp,
                      std::uint8_t digestByte) {
  SignedRelease signed_;
  signed_.metadata.timestamp = timestamp;
  signed_.digest.fill(digestByte);
  return signed_;
}

TEST(AcceptedReleaseTest, OnlyALaterReleaseOrTheSameArchiveFollows) {
  testing_env::ScratchDirectory scratch;
  const std::string cacheDir = scratch.path() + "/";
  const std::string record = cacheDir + ".signedrelease";
  std::string error;
  // 1765238400 is 2025-12-09 00:00:00 UTC.
  EXPECT_TRUE(followsAcceptedRelease(cacheDir, release(1, 1), &error));
  ASSERT_TRUE(recordAcceptedRelease(cacheDir, release(1765238400, 1), &error))
      << error;

  EXPECT_TRUE(followsAcceptedRelease(cacheDir, release(1765238400, 1), &error));
  EXPECT_TRUE(followsAcceptedRelease(cacheDir, release(1765238401, 2), &error));
  EXPECT_FALSE(
      followsAcceptedRelease(cacheDir, release(1765238399, 1), &error));
  EXPECT_EQ(error,
            "The installer on the server was signed at 2025-12-08 23:59:59 "
            "UTC, before the one already installed, signed at 2025-12-09 "
            "00:00:00 UTC.");
  EXPECT_FALSE(
      followsAcceptedRelease(cacheDir, release(1765238400, 2), &error));
  EXPECT_NE(error.find("but is another archive"), std::string::npos);
  EXPECT_FALSE(
      followsAcceptedRelease(cacheDir, release(std::nullopt, 1), &error));
  EXPECT_NE(error.find("has no signed time"), std::string::npos);

  // One without a time leaves the record as it is.
  const std::optional<std::string> recorded = testing_env::readFile(record);
  EXPECT_TRUE(
      recordAcceptedRelease(cacheDir, release(std::nullopt, 3), &error));
  EXPECT_EQ(testing_env::readFile(record), recorded);

  // A record others may have written, or one that does not read, is none.
  chmod(record.c_str(), 0664);
  EXPECT_TRUE(followsAcceptedRelease(cacheDir, release(1, 1), &error));
  testing_env::writeFile(record, "timestamp:1765238400\tdigest\n");
  chmod(record.c_str(), 0600);
  EXPECT_TRUE(followsAcceptedRelease(cacheDir, release(1, 1), &error));
}

}  // namespace
