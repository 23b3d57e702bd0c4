#ifndef PLATFORM_NET_DOWNLOAD_FILE_H_
#define PLATFORM_NET_DOWNLOAD_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os/unique_fd.h"

namespace platform {

// The file a download writes its body into, block by block as it arrives.
// Failures come back as false with a one-line description in "*error".
class DownloadFile {
 public:
  // Where the body goes; an existing file is replaced only when
  // "allowOverwrite". Without a path the body is counted but not kept.
  void setPath(const std::string& path, bool allowOverwrite);

  // Creates the file (empty). Call once, when the body is about to start.
  bool create(std::string* error);
  // Opens the existing file to go on after its first "offset" bytes; what
  // lies beyond them goes. Instead of create(), for a resumed body.
  bool openAt(std::int64_t offset, std::string* error);
  bool write(const char* data, std::size_t size, std::string* error);
  // Closes the file; a write error the system held back shows here.
  bool close(std::string* error);
  // Closes and deletes the file, if this object created it.
  void remove();

 private:
  std::string describe(const char* action) const;

  std::string path_;
  bool allowOverwrite_ = false;
  UniqueFd fd_;
  bool created_ = false;
};

}  // namespace platform

#endif  // PLATFORM_NET_DOWNLOAD_FILE_H_
