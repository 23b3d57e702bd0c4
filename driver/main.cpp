#include "driver/driver.h"
#include "base/error_reporter.h"

int main(int argc, char* argv[]) {
  const int status = mainFcn(argc, argv, report_error_main);
  if (status != 0) report_error_main("Installation failed.", true);
  return status;
}
