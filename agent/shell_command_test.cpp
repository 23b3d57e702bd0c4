#include "agent/shell_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/test_env.h"

namespace {

using testing_env::ScratchDirectory;

// Texts the shell would expand, split, run or choke on if they were not
// quoted, each paired with a marker file that a successful attack creates.
std::vector<std::string> hostileTexts(const ScratchDirectory& scratch) {
  const std::string pwned = scratch / "pwned";
  return {"$(touch " + pwned + ")",
          "`touch " + pwned + "`",
          "a;touch " + pwned,
          "x && touch " + pwned + " #",
          "it's",
          "say \"hi\" \\ there",
          "back\\slash\\",
          "line\nbreak",
          "tab\tand blank",
          "  ",
          "$HOME ${PATH} *.zip ~ ?",
          "'\\''",
          "<in >out |pipe &",
          "caf\xc3\xa9 \xff\xfe bytes",
          "-v"};
}

// What /bin/sh passes to printf as separate words for "words".
std::vector<std::string> wordsSeenByShell(const ScratchDirectory& scratch,
                                          const std::string& words) {
  const std::string out = scratch / "words";
  call_system("printf", "printf '%s\\0' " + words + " > " + smart_quote(out),
              platform::StandardInput::kNone, {});
  return testing_env::readNulSeparated(out);
}

TEST(SmartQuote, KeepsPlainTextAndQuotesBlanksWithDoubleQuotes) {
  // Command lines of ordinary paths look as they always did.
  EXPECT_EQ("/tmp/qzAb12Cd/install", smart_quote("/tmp/qzAb12Cd/install"));
  EXPECT_EQ("-v", smart_quote("-v"));
  EXPECT_EQ("\"/Volumes/Setup Disk/bundle.zip\"",
            smart_quote("/Volumes/Setup Disk/bundle.zip"));
  EXPECT_EQ("\"a\tb\"", smart_quote("a\tb"));
  EXPECT_EQ("", smart_quote(""));
  EXPECT_EQ("'it'\\''s'", smart_quote("it's"));
}

TEST(SmartQuote, EveryHostileTextReachesTheProgramAsOneExactWord) {
  ScratchDirectory scratch;
  for (const std::string& text : hostileTexts(scratch)) {
    EXPECT_EQ(std::vector<std::string>{text},
              wordsSeenByShell(scratch, smart_quote(text)))
        << smart_quote(text);
  }
  EXPECT_FALSE(testing_env::exists(scratch / "pwned"));
}

TEST(Argv2cmdline, ForwardsEveryArgumentAsOneWordEachFollowedByABlank) {
  const char* plain[] = {"program", "a", "b"};
  EXPECT_EQ("a b ", argv2cmdline(3, plain));
  EXPECT_EQ("", argv2cmdline(1, plain));

  ScratchDirectory scratch;
  std::vector<std::string> arguments = hostileTexts(scratch);
  arguments.insert(arguments.begin() + 2, "");  // An empty argument stays.
  std::vector<const char*> argv = {"program"};
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());

  const std::string line =
      argv2cmdline(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(' ', line.back());
  EXPECT_EQ(arguments, wordsSeenByShell(scratch, line));
  EXPECT_FALSE(testing_env::exists(scratch / "pwned"));
}

}  // namespace
