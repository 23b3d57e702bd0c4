#include "driver/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>

#include "platform/os/file_manager.h"
#include "platform/os/service.h"
#include "platform/os/temporary_directory.h"

TempDir::TempDir(std::string /*name*/) {
  const std::optional<std::string> base =
      platform::Service<platform::TemporaryDirectory>::get()
          .temporaryDirectory();
  // A TMPDIR that is missing, no directory or not writable is the user's
  // mistake; /tmp still gives a private place.
  if (base && create(*base)) return;
  create("/tmp");
}

bool TempDir::create(const std::string& base) {
  std::string buffer = platform::appendPathComponent(base, "qzXXXXXX");
  if (mkdtemp(buffer.data()) == nullptr) {
    failure_ = "Could not create a working directory in " + base + ": " +
               std::strerror(errno) + ".";
    return false;
  }
  path_ = buffer;
  failure_.clear();
  return true;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  platform::Service<platform::FileManager>::get().removeItemAtPath(path_);
}

std::string TempDir::getDir() const { return path_; }
