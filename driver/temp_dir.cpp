#include "driver/temp_dir.h"

#include <stdlib.h>

#include "platform/os/file_manager.h"
#include "platform/os/service.h"
#include "platform/os/temporary_directory.h"

TempDir::TempDir(std::string /*name*/) {
  const std::string base =
      platform::Service<platform::TemporaryDirectory>::get()
          .temporaryDirectory()
          .value_or("/tmp");
  std::string buffer = platform::appendPathComponent(base, "qzXXXXXX");
  // A failure leaves the path empty; the caller falls back on its own.
  if (mkdtemp(buffer.data()) != nullptr) path_ = buffer;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  platform::Service<platform::FileManager>::get().removeItemAtPath(path_);
}

std::string TempDir::getDir() const { return path_; }
