#ifndef TESTING_FAKE_TEMPORARY_DIRECTORY_H_
#define TESTING_FAKE_TEMPORARY_DIRECTORY_H_

#include <optional>
#include <string>

#include "platform/os/temporary_directory.h"

namespace platform {

// A temporary directory that is whatever the test says; none by default.
struct FakeTemporaryDirectory : TemporaryDirectory {
  std::optional<std::string> temporaryDirectory() override { return path; }
  std::optional<std::string> path;
};

}  // namespace platform

#endif  // TESTING_FAKE_TEMPORARY_DIRECTORY_H_
