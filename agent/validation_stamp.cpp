#include "agent/validation_stamp.h"

#include <fstream>

#include "base/constants.h"

namespace {

std::string stampPath(const std::string& dir) {
  return dir + pathSeparator + validationFileName;
}

}  // namespace

std::string readValidationString(std::string dir) {
  std::ifstream in(stampPath(dir), std::ios::binary);
  std::string line;
  if (in) std::getline(in, line);
  return line;
}

bool isCacheValid(std::string dir, std::string stamp) {
  // A missing file reads as "", which no stamp here equals.
  return !dir.empty() && !stamp.empty() && readValidationString(dir) == stamp;
}

void writeValidationString(std::string dir, std::string stamp) {
  if (dir.empty() || stamp.empty()) return;
  std::ofstream out(stampPath(dir), std::ios::binary | std::ios::trunc);
  out.write(stamp.data(), static_cast<std::streamsize>(stamp.size()));
}
