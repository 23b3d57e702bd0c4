#include "agent/validation_stamp.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/test_env.h"

namespace {

using testing_env::readFile;
using testing_env::ScratchDirectory;
using testing_env::writeFile;

TEST(ValidationStamp, IsStoredAsItsExactBytes) {
  ScratchDirectory cache;
  // Callers pass the cache directory with its trailing separator.
  const std::string dir = cache.path() + "/";
  const std::string file = cache / ".validatestring";

  writeValidationString(dir, "\"abc\"");
  EXPECT_EQ("\"abc\"", readFile(file));
  EXPECT_TRUE(isCacheValid(dir, "\"abc\""));
  EXPECT_FALSE(isCacheValid(dir, "abc"));

  // A shorter stamp replaces the file rather than overwriting its start.
  writeValidationString(dir, "\"d\"");
  EXPECT_EQ("\"d\"", readFile(file));

  // An empty stamp is neither stored nor ever valid.
  writeValidationString(dir, "");
  EXPECT_EQ("\"d\"", readFile(file));
  EXPECT_FALSE(isCacheValid(dir, ""));

  writeValidationString(cache / "missing", "\"abc\"");
  EXPECT_FALSE(testing_env::exists(cache / "missing"));
}

TEST(ValidationStamp, OnlyTheFirstLineIsCompared) {
  ScratchDirectory cache;
  const std::string file = cache / ".validatestring";
  EXPECT_FALSE(isCacheValid(cache.path(), "\"abc\""));
  EXPECT_EQ(readValidationString(cache.path()), "");

  writeFile(file, "\"abc\"\n");
  EXPECT_TRUE(isCacheValid(cache.path(), "\"abc\""));
  writeFile(file, "\"abc\"\nsecond line\n");
  EXPECT_TRUE(isCacheValid(cache.path(), "\"abc\""));
  EXPECT_EQ(readValidationString(cache.path()), "\"abc\"");
  writeFile(file, "\"abc\"\r\n");
  EXPECT_FALSE(isCacheValid(cache.path(), "\"abc\""));
  writeFile(file, "\"abc\" ");
  EXPECT_FALSE(isCacheValid(cache.path(), "\"abc\""));
}

}  // namespace
