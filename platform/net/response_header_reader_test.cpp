#include "platform/net/response_header_reader.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ResponseHeaderReaderTest, KeepsOnlyTheFinalResponse) {
  // Given an interim response, a followed redirect and the final answer,
  // only the end of the final header counts, and only its fields remain.
  ResponseHeaderReader reader;
  EXPECT_FALSE(reader.addLine("HTTP/1.1 100 Continue\r\n"));
  EXPECT_FALSE(reader.addLine("\r\n"));
  EXPECT_FALSE(reader.addLine("HTTP/1.1 302 Found\r\n"));
  EXPECT_FALSE(reader.addLine("location: /elsewhere\r\n"));
  EXPECT_FALSE(reader.addLine("\r\n"));
  EXPECT_FALSE(reader.addLine("HTTP/2 200 \r\n"));
  EXPECT_FALSE(reader.addLine("ETag:  \"abc\" \r\n"));
  EXPECT_FALSE(reader.addLine("X-Folded: one\r\n"));
  EXPECT_FALSE(reader.addLine("\t two\r\n"));
  EXPECT_TRUE(reader.addLine("\r\n"));

  const URLResponse& response = reader.response();
  EXPECT_EQ(200, response.statusCode);
  EXPECT_EQ((HeaderFields{{"ETag", "\"abc\""}, {"X-Folded", "one two"}}),
            response.headerFields);
  EXPECT_EQ("\"abc\"", response.valueForHeaderField("etag"));
  EXPECT_FALSE(response.valueForHeaderField("Location"));
}

TEST(ResponseHeaderReaderTest, NotModifiedAndErrorsAreFinal) {
  ResponseHeaderReader reader;
  reader.addLine("HTTP/1.1 304 Not Modified\r\n");
  reader.addLine("Location: /ignored\r\n");
  EXPECT_TRUE(reader.addLine("\r\n"));
  reader.addLine("HTTP/1.1 404 Not Found\r\n");
  EXPECT_TRUE(reader.addLine("\r\n"));
  EXPECT_EQ(404, reader.response().statusCode);
  EXPECT_TRUE(reader.response().headerFields.empty());
}

}  // namespace
}  // namespace platform
