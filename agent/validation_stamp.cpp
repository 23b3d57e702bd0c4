#include "agent/validation_stamp.h"

#include <fstream>

#include "bootstrap/constants.h"

namespace {

std::string stampPath(const std::string& dir) {
  return dir + pathSeparator + validationFileName;
}

}  // namespace

bool isCacheValid(std::string dir, std::string stamp) {
  if (dir.empty() || stamp.empty()) return false;
  std::ifstream in(stampPath(dir), std::ios::binary);
  if (!in) return false;
  std::string line;
  std::getline(in, line);
  return line == stamp;
}

void writeValidationString(std::string dir, std::string stamp) {
  if (dir.empty() || stamp.empty()) return;
  std::ofstream out(stampPath(dir), std::ios::binary | std::ios::trunc);
  out.write(stamp.data(), static_cast<std::streamsize>(stamp.size()));
}
