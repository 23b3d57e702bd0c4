#include "platform/net/system_proxy.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(FirstUsableProxy, TakesTheFirstEntryLibcurlCanUse) {
  EXPECT_EQ("", firstUsableProxy({"direct://", "http://proxy:3128"}));
  EXPECT_EQ("http://proxy:3128",
            firstUsableProxy({"wpad://", "ftp://proxy:21", "http://proxy:3128",
                              "direct://"}));
  EXPECT_EQ("socks5://proxy:1080", firstUsableProxy({"socks://proxy:1080"}));
  EXPECT_EQ("SOCKS4A://proxy:1080", firstUsableProxy({"SOCKS4A://proxy:1080"}));
  EXPECT_EQ("", firstUsableProxy({"ftp://proxy:21", "proxy:3128"}));
  EXPECT_EQ("", firstUsableProxy({}));
}

}  // namespace
}  // namespace platform
