#include "agent/private_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/os/posix_error.h"
#include "platform/os/unique_fd.h"
#include "platform/os/write_all.h"

bool isPrivateEntry(const struct stat& info) {
  return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

namespace {

// The private file's bytes up to its first line feed, or all of them; ""
// when it is not private, cannot be read, or holds more than "maxSize"
// bytes before that point.
std::string readPrivate(const std::string& path, bool firstLineOnly,
                        std::string::size_type maxSize) {
  const platform::UniqueFd fd(
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      !isPrivateEntry(info)) {
    return "";
  }
  std::string text;
  char buffer[4096];
  ssize_t count;
  while ((count = read(fd.get(), buffer, sizeof buffer)) != 0) {
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return "";
    text.append(buffer, static_cast<std::string::size_type>(count));
    const std::string::size_type end =
        firstLineOnly ? text.find('\n') : std::string::npos;
    if (end != std::string::npos) return text.substr(0, end);
    if (text.size() > maxSize) return "";
  }
  return text;
}

}  // namespace

std::string readPrivateLine(const std::string& path) {
  return readPrivate(path, true, std::string::npos);
}

std::string readPrivateText(const std::string& path,
                            std::string::size_type maxSize) {
  return readPrivate(path, false, maxSize);
}

bool replacePrivateFile(const std::string& path, const std::string& bytes,
                        std::string* error) {
  // mkostemp creates with O_EXCL, so a link planted under the temporary
  // name fails the creation rather than being followed.
  std::string temporary = path + ".XXXXXX";
  const platform::UniqueFd fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) {
    *error = platform::posixError("", errno);
    return false;
  }
  if (platform::writeAll(fd.get(), bytes.data(), bytes.size()) &&
      std::rename(temporary.c_str(), path.c_str()) == 0) {
    return true;
  }
  *error = platform::posixError("", errno);
  unlink(temporary.c_str());
  return false;
}
