#include "agent/small_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/posix_error.h"
#include "platform/os/unique_fd.h"

bool readSmallFile(const std::string& path, std::size_t maxSize,
                   std::string* text, std::string* error) {
  const platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    *error = platform::posixError("", errno);
    return false;
  }
  // One byte more than allowed tells a file that is too large.
  std::string content(maxSize + 1, '\0');
  std::size_t size = 0;
  while (size < content.size()) {
    const ssize_t got = read(fd.get(), &content[size], content.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = platform::posixError("", errno);
      return false;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  if (size > maxSize) {
    *error = "The file is larger than " + std::to_string(maxSize) + " bytes.";
    return false;
  }
  content.resize(size);
  *text = std::move(content);
  return true;
}

bool isAbsentFile(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}
