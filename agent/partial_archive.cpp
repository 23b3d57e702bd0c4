#include "agent/partial_archive.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <sstream>

#include "agent/private_file.h"
#include "agent/validation_stamp.h"
#include "base/constants.h"

std::unique_ptr<PartialArchive> PartialArchive::take(
    const std::string& cacheDir) {
  const std::string path = cacheDir + installAgentZipName + ".partial";
  platform::UniqueFd file(
      open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  struct stat info;
  if (!file.valid() || fstat(file.get(), &info) != 0 ||
      !S_ISREG(info.st_mode) || !isPrivateEntry(info) ||
      flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
    return nullptr;
  }
  return std::unique_ptr<PartialArchive>(
      new PartialArchive(path, std::move(file)));
}

PartialArchive::PartialArchive(std::string path, platform::UniqueFd file)
    : path_(std::move(path)),
      aboutPath_(path_ + ".about"),
      file_(std::move(file)) {}

PartialArchive::~PartialArchive() {
  struct stat info;
  if (!path_.empty() && lstat(aboutPath_.c_str(), &info) != 0) {
    unlink(path_.c_str());
  }
}

std::optional<platform::ResumePoint> PartialArchive::resumePointFor(
    const std::string& url) {
  std::istringstream about(readPrivateLine(aboutPath_));
  platform::ResumePoint point;
  std::string keptFor;
  about >> point.totalLength >> point.etag;
  about.ignore(1);
  std::getline(about, keptFor);
  struct stat info;
  const bool usable =
      !about.fail() && keptFor == url && !point.etag.empty() &&
      fstat(file_.get(), &info) == 0 && info.st_size > 0 &&
      (point.totalLength < 0 || info.st_size < point.totalLength) &&
      std::time(nullptr) - info.st_mtime <= kMaxAgeSeconds;
  if (!usable) {
    forget();
    return std::nullopt;
  }
  point.offset = info.st_size;
  return point;
}

void PartialArchive::describe(const std::string& url,
                              const std::optional<std::string>& etag,
                              std::int64_t totalLength) {
  // A weak ETag may not stand in If-Range.
  std::string ignored;
  if (!etag || !isEntityTag(*etag) || etag->rfind("W/", 0) == 0 ||
      !replacePrivateFile(aboutPath_,
                          std::to_string(totalLength) + " " + *etag + " " +
                              url + "\n",
                          &ignored)) {
    unlink(aboutPath_.c_str());
  }
}

std::string PartialArchive::complete(const std::string& destination) {
  unlink(aboutPath_.c_str());
  const std::string archive =
      rename(path_.c_str(), destination.c_str()) == 0 ? destination : path_;
  path_.clear();  // a complete archive is no partial, whatever its place
  return archive;
}

void PartialArchive::forget() {
  // Without their record the bytes are never resumed; the next body
  // replaces them.
  unlink(aboutPath_.c_str());
}
