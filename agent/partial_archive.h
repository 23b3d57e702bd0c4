#ifndef AGENT_PARTIAL_ARCHIVE_H_
#define AGENT_PARTIAL_ARCHIVE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/net/web_download.h"
#include "platform/os/unique_fd.h"

// An archive whose download did not complete, kept in the cache so that
// the next run of the same user can ask for the rest: the bytes in
// "InstallAgent.zip.partial" in the cache directory, and in
// "InstallAgent.zip.partial.about" the whole length, the strong ETag and
// the URL they came with, on one line. Both are private (private_file.h).
// A run holds the slot, an exclusive flock on the bytes' file that a killed
// run gives up with its life, for as long as it downloads into it: runs at
// once never share it, and one that finds it held downloads without it.
class PartialArchive {
 public:
  // A partial older than this is not resumed: its server has most likely
  // moved on.
  static constexpr std::int64_t kMaxAgeSeconds = 3 * 24 * 60 * 60;

  // Takes the slot in "cacheDir", which must be usable (cache_directory.h);
  // nullptr when another run holds it or it cannot be opened. Call with the
  // cache locked.
  static std::unique_ptr<PartialArchive> take(const std::string& cacheDir);
  // Gives up the slot; bytes without a record (none came, or none that
  // can be resumed) go.
  ~PartialArchive();
  PartialArchive(const PartialArchive&) = delete;
  PartialArchive& operator=(const PartialArchive&) = delete;

  // Where the download writes.
  const std::string& path() const { return path_; }

  // Where a download of "url" may go on; nullopt when nothing is kept for
  // it: then what is kept goes, as it does when it is older than
  // kMaxAgeSeconds, holds no byte, or holds as many as its whole length or
  // more.
  std::optional<platform::ResumePoint> resumePointFor(const std::string& url);
  // Records what the body now in the file came with, for a later run; a
  // body without a strong ETag cannot be resumed and gets no record.
  void describe(const std::string& url, const std::optional<std::string>& etag,
                std::int64_t totalLength);
  // The body is complete and no partial any more: drops the record and
  // moves the file to "destination" where the file systems allow it.
  // Returns where the archive is now.
  std::string complete(const std::string& destination);

 private:
  PartialArchive(std::string path, platform::UniqueFd file);
  void forget();

  std::string path_;
  std::string aboutPath_;
  platform::UniqueFd file_;  // holds the slot
};

#endif  // AGENT_PARTIAL_ARCHIVE_H_
