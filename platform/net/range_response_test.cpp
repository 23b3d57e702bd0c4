#include "platform/net/range_response.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

URLResponse answer(long status, HeaderFields fields, std::int64_t length) {
  URLResponse response;
  response.statusCode = status;
  response.headerFields = std::move(fields);
  response.expectedContentLength = length;
  return response;
}

TEST(RangeResponseTest, A206IsAppendedOnlyWhenItContinuesTheFile) {
  const ResumePoint point{400, "\"v1\"", 1000};
  auto partial = [](const std::string& range, HeaderFields more = {}) {
    more.emplace_back("Content-Range", range);
    return answer(206, more, 600);
  };
  EXPECT_EQ(BodyStart::kAppend, bodyStart(point, partial("bytes 400-999/1000")));
  EXPECT_EQ(BodyStart::kAppend,
            bodyStart(point, partial("bytes 400-999/1000", {{"ETag", "\"v1\""}})));
  EXPECT_EQ(BodyStart::kAppend,
            bodyStart(ResumePoint{400, "\"v1\"", -1}, partial("bytes 400-999/*")));
  for (const char* range : {"bytes 0-999/1000", "bytes 400-999/2000",
                            "bytes 400-899/1000", "bytes 400-999/*",
                            "bytes 400-999/1000x", "bytes */1000", ""}) {
    EXPECT_EQ(BodyStart::kMismatch, bodyStart(point, partial(range))) << range;
  }
  EXPECT_EQ(BodyStart::kMismatch,
            bodyStart(point, partial("bytes 400-999/1000", {{"ETag", "\"v2\""}})));
  EXPECT_EQ(BodyStart::kMismatch, bodyStart(point, answer(416, {}, 0)));

  // A whole body starts the file over; so does anything without a range.
  EXPECT_EQ(BodyStart::kFromZero, bodyStart(point, answer(200, {}, 1000)));
  EXPECT_EQ(BodyStart::kFromZero,
            bodyStart(std::nullopt, partial("bytes 400-999/1000")));
}

}  // namespace
}  // namespace platform
