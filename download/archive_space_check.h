#ifndef DOWNLOAD_ARCHIVE_SPACE_CHECK_H_
#define DOWNLOAD_ARCHIVE_SPACE_CHECK_H_

#include <cstdint>
#include <optional>
#include <string>

#include "base/constants.h"
#include "platform/net/web_download.h"

// Keeps the downloaded agent archive from filling a disk, whatever the
// server announces or sends. The archive is written into the working
// directory, then unpacked once more: into the cache, or, when the cache's
// file system cannot take it, beside the archive. Every file system keeps a
// reserve free for the user's other programs: 64 MiB, or an eighth of a
// smaller one's size (a RAM-backed /tmp still takes a small archive). Free
// space comes from platform::Service<platform::FileManager>.
class ArchiveSpaceCheck : public platform::BodyLimit {
 public:
  // A response with "cachedStamp" as its ETag lets the cached agent start:
  // its body is dropped unwritten, whatever its length.
  ArchiveSpaceCheck(const std::string& archive, const std::string& cacheDir,
                    std::optional<std::string> cachedStamp,
                    std::uint64_t maxLength = maxInstallAgentArchiveSize);

  // Refuses an announced length past the largest, or one the disks lack
  // room for (the rest of the archive where it is written, the whole of
  // its copy where that goes). Starts refuseGrowth's reads over.
  std::string refuseBody(const platform::URLResponse& response,
                         std::int64_t offset) override;
  // Stops a body past the largest length, or once the working directory's
  // file system is under its reserve. The free space is read once per
  // quarter megabyte, not for every piece.
  std::string refuseGrowth(std::int64_t length) override;

 private:
  std::string tooLarge() const;

  std::string archiveDir_;
  std::string cacheDir_;
  std::optional<std::string> cachedStamp_;
  std::uint64_t maxLength_;
  std::uint64_t nextSpaceRead_ = 0;
};

#endif  // DOWNLOAD_ARCHIVE_SPACE_CHECK_H_
