#include "agent/signed_metadata.h"

#include <string>

#include "gtest/gtest.h"

namespace {

TEST(SignedMetadataTest, ReadsTheKnownFieldsAndIgnoresTheRest) {
  SignedMetadata metadata;
  std::string error;
  ASSERT_TRUE(parseSignedMetadata(
      "timestamp:1765238400\tfile:InstallAgent.zip\thashed\texpires:"
      "1767830400\tagent:V3318k/osxi64\tnote:a:b\t\t",
      &metadata, &error))
      << error;
  EXPECT_EQ(metadata.timestamp, 1765238400);
  EXPECT_EQ(metadata.expires, 1767830400);
  EXPECT_EQ(metadata.agent, "V3318k/osxi64");

  // A comment of words, as minisign -t may be given, has no fields.
  ASSERT_TRUE(parseSignedMetadata("release 1", &metadata, &error));
  EXPECT_FALSE(metadata.timestamp || metadata.expires || metadata.agent);
}

TEST(SignedMetadataTest, RefusesFieldsGivenTwiceOrThatDoNotParse) {
  for (const char* comment : {
           "timestamp:1\ttimestamp:1",
           "agent:V3318k/osxi64\tagent:V3318k/osxi64",
           "timestamp:",
           "timestamp:-1",
           "timestamp:+1",
           "timestamp: 1",
           "timestamp:1 file:x",
           "timestamp:1234567890123456789",  // would overflow
           "timestamp:0x10",
           "expires:soon",
           "agent:V3318k",
           "agent:/osxi64",
           "agent:V3318k/",
           "agent:V3318k/osxi64/x",
           "file:x\texpires:12\r",
       }) {
    SignedMetadata metadata;
    std::string error;
    EXPECT_FALSE(parseSignedMetadata(comment, &metadata, &error)) << comment;
    EXPECT_NE(error.find("The trusted comment's field"), std::string::npos)
        << error;
  }
}

}  // namespace
