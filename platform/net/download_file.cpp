#include "platform/net/download_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/os/posix_error.h"
#include "platform/os/write_all.h"

namespace platform {

void DownloadFile::setPath(const std::string& path, bool allowOverwrite) {
  path_ = path;
  allowOverwrite_ = allowOverwrite;
}

bool DownloadFile::create(std::string* error) {
  if (path_.empty()) return true;
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC |
              (allowOverwrite_ ? O_TRUNC : O_EXCL);
  fd_.reset(open(path_.c_str(), flags, 0666));
  if (!fd_.valid()) {
    *error = describe("Could not create");
    return false;
  }
  created_ = true;
  return true;
}

bool DownloadFile::openAt(std::int64_t offset, std::string* error) {
  if (path_.empty()) return true;
  fd_.reset(open(path_.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd_.valid() || ftruncate(fd_.get(), offset) != 0 ||
      lseek(fd_.get(), offset, SEEK_SET) != offset) {
    *error = describe("Could not reopen");
    fd_.reset();
    return false;
  }
  created_ = true;
  return true;
}

bool DownloadFile::write(const char* data, std::size_t size,
                         std::string* error) {
  if (!fd_.valid()) return true;
  if (!writeAll(fd_.get(), data, size)) {
    *error = describe("Could not write");
    return false;
  }
  return true;
}

bool DownloadFile::close(std::string* error) {
  if (!fd_.valid()) return true;
  if (::close(fd_.release()) != 0) {
    *error = describe("Could not write");
    return false;
  }
  return true;
}

void DownloadFile::remove() {
  fd_.reset();
  if (created_) unlink(path_.c_str());
  created_ = false;
}

std::string DownloadFile::describe(const char* action) const {
  return posixError(std::string(action) + " " + path_, errno);
}

}  // namespace platform
