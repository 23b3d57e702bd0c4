#include "agent/bundle_mirrors.h"

#include "gtest/gtest.h"

namespace {

TEST(BundleMirrorsTest, TakesHttpsLinesInOrderAndRefusesAnyOther) {
  std::vector<std::string> urls;
  std::string error;
  EXPECT_TRUE(parseMirrors("https://a.example/agent.zip\r\n\n"
                           "https://b.example:8443/x?y=1\n",
                           "m", &urls, &error));
  EXPECT_EQ(urls, (std::vector<std::string>{"https://a.example/agent.zip",
                                            "https://b.example:8443/x?y=1"}));
  for (const char* line :
       {"http://a.example/agent.zip", "https:///agent.zip", "https://",
        " https://a.example/", "https://a.example/agent zip", "a.example"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(parseMirrors(std::string("https://ok.example/\n") + line,
                              "m", &urls, &error));
    EXPECT_EQ(error, "Cannot use the mirrors in m: line 2 is not an https URL.");
    EXPECT_TRUE(urls.empty());
  }
}

}  // namespace
