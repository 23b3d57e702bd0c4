#ifndef DOWNLOAD_ARCHIVE_SPACE_CHECK_H_
#define DOWNLOAD_ARCHIVE_SPACE_CHECK_H_

#include <cstdint>
#include <string>

#include "base/constants.h"

// Keeps the downloaded agent archive from filling a disk, whatever the
// server announces or sends. The archive is written into the working
// directory, then unpacked once more: into the cache, or, when the cache's
// file system cannot take it, beside the archive. Every file system keeps a
// reserve free for the user's other programs: 64 MiB, or an eighth of a
// smaller one's size (a RAM-backed /tmp still takes a small archive). Free
// space comes from platform::Service<platform::FileManager>.
class ArchiveSpaceCheck {
 public:
  ArchiveSpaceCheck(const std::string& archive, const std::string& cacheDir,
                    std::uint64_t maxLength = maxInstallAgentArchiveSize);

  // Before the body: why an archive of "length" bytes (-1 when none is
  // announced) must not come, "" when it may. Starts checkReceived's count
  // over.
  std::string checkAnnounced(std::int64_t length);
  // While the body arrives, with "received" bytes of it in the file: why it
  // must stop (past the largest length, or the working directory's file
  // system under its reserve), "" while it may go on. The free space is
  // read once per quarter megabyte, not for every piece.
  std::string checkReceived(std::int64_t received);

 private:
  std::string tooLarge() const;

  std::string archiveDir_;
  std::string cacheDir_;
  std::uint64_t maxLength_;
  std::uint64_t nextSpaceRead_ = 0;
};

#endif  // DOWNLOAD_ARCHIVE_SPACE_CHECK_H_
