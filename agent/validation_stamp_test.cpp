#include "agent/validation_stamp.h"

#include <gtest/gtest.h>

#include <filesystem>
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

  // A link is replaced, never written through; the file it named stays.
  std::filesystem::remove(file);
  std::filesystem::create_symlink(cache / "elsewhere", file);
  writeFile(cache / "elsewhere", "\"d\"");
  EXPECT_EQ("", readValidationString(dir));
  EXPECT_TRUE(writeValidationString(dir, "\"e\""));
  EXPECT_EQ("\"e\"", readFile(file));
  EXPECT_EQ("\"d\"", readFile(cache / "elsewhere"));

  // An empty stamp removes the stored one and is never valid.
  EXPECT_TRUE(writeValidationString(dir, ""));
  EXPECT_FALSE(testing_env::exists(file));
  EXPECT_FALSE(isCacheValid(dir, ""));

  EXPECT_FALSE(writeValidationString(cache / "missing", "\"abc\""));
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

  // A stamp others may write is not trusted.
  writeFile(file, "\"abc\"");
  std::filesystem::permissions(file, std::filesystem::perms::others_write,
                               std::filesystem::perm_options::add);
  EXPECT_FALSE(isCacheValid(cache.path(), "\"abc\""));
}

TEST(ValidationStamp, OnlyAnEntityTagIsOne) {
  for (const std::string& valid : std::initializer_list<std::string>{
           "\"\"", "\"abc\"", "W/\"abc\"", "\"!#~\x80\xff\"", "\"a/b\""}) {
    EXPECT_TRUE(isEntityTag(valid)) << valid;
  }
  for (const std::string& invalid : std::initializer_list<std::string>{
           "", "\"", "abc", "\"abc", "abc\"", "w/\"abc\"", "W/abc", " \"abc\"",
           "\"a\rb\"", "\"a b\"", "\"a\"b\"", "\"a\x7f\"", "\"a\tb\"",
           std::string("\"a\0b\"", 5), "\"a\", \"b\""}) {
    EXPECT_FALSE(isEntityTag(invalid)) << invalid;
  }

  // Anything else removes the stored stamp instead of replacing it.
  ScratchDirectory cache;
  const std::string dir = cache.path() + "/";
  EXPECT_TRUE(writeValidationString(dir, "W/\"abc\""));
  EXPECT_TRUE(isCacheValid(dir, "W/\"abc\""));
  EXPECT_TRUE(writeValidationString(dir, "\"a\rb\""));
  EXPECT_FALSE(testing_env::exists(cache / ".validatestring"));
}

}  // namespace
