#include "base/error_reporter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ReportErrorMain, WritesOneBareLineToTheChosenStream) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  report_error_main("Installation failed.", true);
  report_error_main(std::string("nul\0byte", 8), true);
  report_error_main("", false);
  EXPECT_EQ("\n", testing::internal::GetCapturedStdout());
  EXPECT_EQ("Installation failed.\n" + std::string("nul\0byte\n", 9),
            testing::internal::GetCapturedStderr());
}

}  // namespace
