#include "driver/invocation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "testing/test_env.h"

namespace {

using testing_env::ScopedEnvironment;

TEST(InvocationTest, ADisplayCountsWhenNamedAndTheScaleOnlyInItsRange) {
  struct Case {
    std::optional<std::string> display;
    std::optional<std::string> wayland;
    bool hasDisplay;
    std::optional<std::string> scale;
    double retryWaitScale;
  };
  for (const Case& c : {
           Case{std::nullopt, std::nullopt, false, std::nullopt, 1.0},
           Case{"", "", false, "", 1.0},
           Case{":1", std::nullopt, true, "0.05", 0.05},
           Case{"", "wayland-0", true, "1", 1.0},
           Case{std::nullopt, std::nullopt, false, "0", 1.0},
           Case{std::nullopt, std::nullopt, false, "2", 1.0},
           Case{std::nullopt, std::nullopt, false, "0.5s", 1.0},
       }) {
    SCOPED_TRACE(c.scale.value_or("unset"));
    ScopedEnvironment display("DISPLAY", c.display);
    ScopedEnvironment wayland("WAYLAND_DISPLAY", c.wayland);
    ScopedEnvironment scale("__QZ_BOOTSTRAP_RETRY_WAIT_SCALE__", c.scale);
    const WindowSettings window = readInvocation().window;
    EXPECT_EQ(window.hasDisplay, c.hasDisplay);
    EXPECT_EQ(window.retryWaitScale, c.retryWaitScale);
  }
}

}  // namespace
