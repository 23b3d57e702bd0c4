#include <gtest/gtest.h>

#include <string>

#include "testing/test_env.h"
#include "platform/os/main_bundle.h"

namespace {

// The unit test binary lies in no X.app, so it is a bundle of its own.
// Executables inside a bundle are driven end to end (tests/).
TEST(RealMainBundle, ABareExecutableIsItsOwnBundle) {
  const std::string executable = testing_env::runningExecutable();
  ASSERT_FALSE(executable.empty());
  const std::string directory = executable.substr(0, executable.rfind('/'));

  const auto bundle = platform::MainBundle::Real().mainBundle();
  ASSERT_TRUE(bundle.has_value());
  EXPECT_EQ(directory, bundle->bundlePath);
  EXPECT_EQ(directory, bundle->resourcePath);
}

}  // namespace
