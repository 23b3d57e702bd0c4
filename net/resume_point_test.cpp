#include "net/resume_point.h"

#include <gtest/gtest.h>

namespace net {
namespace {

platform::URLResponse answer(long status, platform::HeaderFields fields, std::int64_t length) {
  platform::URLResponse response;
  response.statusCode = status;
  response.headerFields = std::move(fields);
  response.expectedContentLength = length;
  return response;
}

TEST(ResumePointTest, OnlyAStrongETagWithByteRangesResumes) {
  const platform::HeaderFields resumable = {{"ETag", "\"v1\""},
                                  {"Accept-Ranges", "bytes"}};
  std::optional<platform::ResumePoint> point =
      resumePointFor(answer(200, resumable, 1000), 400);
  ASSERT_TRUE(point);
  EXPECT_EQ(400, point->offset);
  EXPECT_EQ("\"v1\"", point->etag);
  EXPECT_EQ(1000, point->totalLength);

  EXPECT_FALSE(resumePointFor(answer(200, resumable, 1000), 0));
  EXPECT_FALSE(resumePointFor(answer(200, resumable, 1000), 1000));
  EXPECT_FALSE(resumePointFor(
      answer(200, {{"ETag", "W/\"v1\""}, {"Accept-Ranges", "bytes"}}, 1000),
      400));
  EXPECT_FALSE(resumePointFor(answer(200, {{"ETag", "\"v1\""}}, 1000), 400));
  EXPECT_FALSE(resumePointFor(
      answer(200, {{"ETag", "\"v1\""}, {"Accept-Ranges", "none"}}, 1000), 400));
  // An encoded body reached the file decoded.
  platform::HeaderFields encoded = resumable;
  encoded.emplace_back("Content-Encoding", "gzip");
  EXPECT_FALSE(resumePointFor(answer(200, encoded, 1000), 400));
  encoded.back().second = "identity";
  EXPECT_TRUE(resumePointFor(answer(200, encoded, 1000), 400));
}

}  // namespace
}  // namespace net
