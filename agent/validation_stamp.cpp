#include "agent/validation_stamp.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "agent/private_entry.h"
#include "base/constants.h"
#include "platform/os/unique_fd.h"

namespace {

std::string stampPath(const std::string& dir) {
  return dir + pathSeparator + validationFileName;
}

bool writeAll(int fd, const std::string& bytes) {
  std::string::size_type done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::string::size_type>(written);
  }
  return true;
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
  const platform::UniqueFd fd(
      open(stampPath(dir).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      !isPrivateEntry(info)) {
    return "";
  }
  std::string line;
  char buffer[4096];
  ssize_t count;
  while ((count = read(fd.get(), buffer, sizeof buffer)) != 0) {
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return "";
    line.append(buffer, static_cast<std::string::size_type>(count));
    const std::string::size_type end = line.find('\n');
    if (end != std::string::npos) return line.substr(0, end);
  }
  return line;
}

bool isCacheValid(const std::string& dir, const std::string& stamp) {
  // A missing file reads as "", which no stamp here equals.
  return !dir.empty() && !stamp.empty() && readValidationString(dir) == stamp;
}

bool writeValidationString(const std::string& dir, const std::string& stamp) {
  const std::string path = stampPath(dir);
  if (!isEntityTag(stamp)) return unlink(path.c_str()) == 0 || errno == ENOENT;

  // mkostemp creates with O_EXCL, so a link planted under the temporary
  // name fails the creation rather than being followed.
  std::string temporary = path + ".XXXXXX";
  const platform::UniqueFd fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return false;
  if (writeAll(fd.get(), stamp) &&
      std::rename(temporary.c_str(), path.c_str()) == 0) {
    return true;
  }
  unlink(temporary.c_str());
  return false;
}
