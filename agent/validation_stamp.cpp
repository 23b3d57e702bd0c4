#include "agent/validation_stamp.h"

#include <errno.h>
#include <unistd.h>

#include "agent/private_file.h"
#include "base/constants.h"
#include "platform/os/posix_error.h"

namespace {

std::string stampPath(const std::string& dir) {
  return dir + pathSeparator + validationFileName;
}

}  // namespace

bool isEntityTag(const std::string& text) {
  const std::string::size_type quote = text.compare(0, 2, "W/") == 0 ? 2 : 0;
  if (text.size() < quote + 2 || text[quote] != '"' || text.back() != '"') {
    return false;
  }
  for (std::string::size_type i = quote + 1; i + 1 < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x21 || byte == '"' || byte == 0x7F) return false;
  }
  return true;
}

std::string readValidationString(const std::string& dir) {
  return readPrivateLine(stampPath(dir));
}

bool isCacheValid(const std::string& dir, const std::string& stamp) {
  // A missing file reads as "", which no stamp here equals.
  return !dir.empty() && !stamp.empty() && readValidationString(dir) == stamp;
}

bool writeValidationString(const std::string& dir, const std::string& stamp) {
  // A stamp that cannot be stored is dropped; no one is told why.
  std::string unused;
  if (!isEntityTag(stamp)) return removeValidationString(dir, &unused);
  return replacePrivateFile(stampPath(dir), stamp, &unused);
}

bool removeValidationString(const std::string& dir, std::string* error) {
  if (unlink(stampPath(dir).c_str()) == 0 || errno == ENOENT) return true;
  *error = platform::posixError("", errno);
  return false;
}
