#include "agent/validation_stamp.h"

#include <errno.h>
#include <unistd.h>

#include "agent/private_file.h"
#include "base/constants.h"

namespace {

std::string stampPath(const std::string& dir) {
  return dir + pathSeparator + validationFileName;
}

}  // namespace

std::string readValidationString(const std::string& dir) {
  return readPrivateLine(stampPath(dir));
}

bool isCacheValid(const std::string& dir, const std::string& stamp) {
  // A missing file reads as "", which no stamp here equals.
  return !dir.empty() && !stamp.empty() && readValidationString(dir) == stamp;
}

bool writeValidationString(const std::string& dir, const std::string& stamp) {
  const std::string path = stampPath(dir);
  if (stamp.empty()) return unlink(path.c_str()) == 0 || errno == ENOENT;
  return replacePrivateFile(path, stamp);
}
