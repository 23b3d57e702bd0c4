#ifndef PLATFORM_OS_TEMPORARY_DIRECTORY_H_
#define PLATFORM_OS_TEMPORARY_DIRECTORY_H_

#include <optional>
#include <string>

namespace platform {

// The current user's temporary directory. Abstract so tests can replace it;
// the real one reports TMPDIR when it is set and not empty, made absolute
// against the current directory, else nothing (also when the current
// directory is unknown).
class TemporaryDirectory {
 public:
  virtual ~TemporaryDirectory() = default;
  virtual std::optional<std::string> temporaryDirectory() = 0;

  static TemporaryDirectory& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_TEMPORARY_DIRECTORY_H_
