#ifndef PLATFORM_OS_UNIQUE_FD_H_
#define PLATFORM_OS_UNIQUE_FD_H_

#include <unistd.h>

namespace platform {

// Owns a file descriptor and closes it when destroyed. -1 means none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives up ownership without closing; the caller closes the result.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held (ignoring close(2)'s outcome) and takes "fd".
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace platform

#endif  // PLATFORM_OS_UNIQUE_FD_H_
