#include "testing/fake_error_reporter.h"

namespace {

std::vector<std::string>& reports() {
  static std::vector<std::string> recorded;
  return recorded;
}

}  // namespace

void recordReport(std::string message, bool isError) {
  reports().push_back(isError ? message : "[not an error] " + message);
}

const std::vector<std::string>& recordedReports() { return reports(); }

void clearReports() { reports().clear(); }
