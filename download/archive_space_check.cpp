#include "download/archive_space_check.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "agent/bundle_paths.h"
#include "platform/os/file_manager.h"
#include "platform/os/service.h"

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
// Room for what the user's other programs write meanwhile (logs, an
// editor's swap file, a browser's cache) on any disk of today.
constexpr std::uint64_t kLargestReserve = 64 * kMiB;
// Far less than the smallest reserve of a usable disk, so that the body
// cannot pass it unseen between two reads.
constexpr std::uint64_t kSpaceReadInterval = kMiB / 4;

std::uint64_t reserveOf(const platform::DiskSpace& disk) {
  return std::min(kLargestReserve, disk.size / 8);
}

bool hasRoomFor(const platform::DiskSpace& disk, std::uint64_t bytes) {
  const std::uint64_t reserve = reserveOf(disk);
  return disk.available >= reserve && disk.available - reserve >= bytes;
}

std::string megabytes(std::uint64_t bytes, bool roundUp) {
  return std::to_string(bytes / kMiB + (roundUp && bytes % kMiB != 0)) + " MB";
}

std::string shortOfRoom(const std::string& dir, const platform::DiskSpace& disk,
                        std::uint64_t bytes) {
  return "Not enough disk space in " + dir + ": the installer needs " +
         megabytes(bytes + reserveOf(disk), true) + ", " +
         megabytes(disk.available, false) + " are free.";
}

std::optional<platform::DiskSpace> diskSpaceAt(const std::string& path) {
  return platform::Service<platform::FileManager>::get().diskSpaceAt(path);
}

}  // namespace

ArchiveSpaceCheck::ArchiveSpaceCheck(const std::string& archive,
                                     const std::string& cacheDir,
                                     std::optional<std::string> cachedStamp,
                                     std::uint64_t maxLength)
    : archiveDir_(withoutLastPathComponent(archive)),
      cacheDir_(cacheDir.substr(0, cacheDir.find_last_not_of('/') + 1)),
      cachedStamp_(std::move(cachedStamp)),
      maxLength_(maxLength) {}

std::string ArchiveSpaceCheck::refuseBody(const platform::URLResponse& response,
                                          std::int64_t offset) {
  nextSpaceRead_ = 0;
  if (response.expectedContentLength < 0 ||
      (cachedStamp_ && response.valueForHeaderField("ETag") == cachedStamp_)) {
    return "";
  }
  const auto rest = static_cast<std::uint64_t>(response.expectedContentLength);
  const std::uint64_t whole = static_cast<std::uint64_t>(offset) + rest;
  if (whole > maxLength_) return tooLarge();
  const std::optional<platform::DiskSpace> work = diskSpaceAt(archiveDir_);
  if (!work) return "";
  // The unpacked copy takes at least as much again as the archive.
  const std::optional<platform::DiskSpace> cache = diskSpaceAt(cacheDir_);
  const bool sameDisk = cache && cache->fileSystem == work->fileSystem;
  const std::uint64_t here = sameDisk ? rest + whole : rest;
  if (!hasRoomFor(*work, here)) return shortOfRoom(archiveDir_, *work, here);
  if (cache && !sameDisk && !hasRoomFor(*cache, whole) &&
      !hasRoomFor(*work, rest + whole)) {
    return shortOfRoom(cacheDir_, *cache, whole);
  }
  return "";
}

std::string ArchiveSpaceCheck::refuseGrowth(std::int64_t length) {
  const auto bytes = static_cast<std::uint64_t>(length);
  if (bytes > maxLength_) return tooLarge();
  if (bytes < nextSpaceRead_) return "";
  nextSpaceRead_ = bytes + kSpaceReadInterval;
  const std::optional<platform::DiskSpace> work = diskSpaceAt(archiveDir_);
  if (!work || hasRoomFor(*work, 0)) return "";
  return "Not enough disk space in " + archiveDir_ + ": only " +
         megabytes(work->available, false) + " are free after " +
         megabytes(bytes, false) + " of the installer arrived.";
}

std::string ArchiveSpaceCheck::tooLarge() const {
  return "The installer is larger than " + megabytes(maxLength_, false) + ".";
}
