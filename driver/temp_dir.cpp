#include "driver/temp_dir.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <memory>

#include "platform/os/file_manager.h"
#include "platform/os/posix_error.h"
#include "platform/os/service.h"
#include "platform/os/temporary_directory.h"

namespace {

const std::string workingDirPrefix = "qz";
const std::string workingDirPattern = workingDirPrefix + "XXXXXX";
// A run locks its directory right after making it; a younger unlocked one
// may be a run between the two.
constexpr std::time_t kLeftoverAgeSeconds = 10 * 60;

bool isWorkingDirName(const std::string& name) {
  return name.size() == workingDirPattern.size() &&
         name.compare(0, workingDirPrefix.size(), workingDirPrefix) == 0 &&
         std::all_of(name.begin() + workingDirPrefix.size(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; });
}

// True when "info" describes a directory in which no other user can move,
// remove or replace the user's entries: the effective user or root owns it,
// and neither its group nor others may write it unless it is sticky, as
// /tmp is. Only below such directories does a path go on naming what the
// user made there.
bool isGuardedDirectory(const struct stat& info) {
  return S_ISDIR(info.st_mode) &&
         (info.st_uid == geteuid() || info.st_uid == 0) &&
         ((info.st_mode & (S_IWGRP | S_IWOTH)) == 0 ||
          (info.st_mode & S_ISVTX) != 0);
}

// Whether "dir", absolute and without links, can hold a working directory;
// when not, "*error" says why, after "context".
bool isGuardedPath(const std::string& dir, const std::string& context,
                   std::string* error) {
  for (std::string::size_type end = 0;; end = dir.find('/', end + 1)) {
    // "/" first, then each directory down to "dir" itself.
    const std::string ancestor = end == 0 ? "/" : dir.substr(0, end);
    struct stat info;
    if (lstat(ancestor.c_str(), &info) != 0) {
      *error = platform::posixError(context, errno);
      return false;
    }
    if (!S_ISDIR(info.st_mode)) {
      *error = platform::posixError(context, ENOTDIR);
      return false;
    }
    if (!isGuardedDirectory(info)) {
      *error =
          context + ": " + ancestor + " lets other users move what it holds.";
      return false;
    }
    if (end == std::string::npos) return true;
  }
}

bool isSameFile(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

}  // namespace

TempDir::TempDir(std::string /*name*/) {
  const std::optional<std::string> base =
      platform::Service<platform::TemporaryDirectory>::get()
          .temporaryDirectory();
  // A TMPDIR that is missing, no directory, not writable or open to other
  // users is the user's mistake; /tmp still gives a private place.
  if (base && create(*base)) return;
  create("/tmp");
}

bool TempDir::create(const std::string& base) {
  const std::string context = "Could not create a working directory in " + base;
  // The directory is made where the links lead, so that every directory on
  // its path is one that was checked.
  const std::unique_ptr<char, decltype(&std::free)> resolved(
      realpath(base.c_str(), nullptr), &std::free);
  if (!resolved) {
    failure_ = platform::posixError(context, errno);
    return false;
  }
  if (!isGuardedPath(resolved.get(), context, &failure_)) return false;

  std::string buffer =
      platform::appendPathComponent(resolved.get(), workingDirPattern);
  if (mkdtemp(buffer.data()) == nullptr) {
    failure_ = platform::posixError(context, errno);
    return false;
  }
  lock_.emplace(buffer, AgentDirLock::Mode::kShared);
  struct stat info;
  if (!lock_->locked() || fstat(lock_->fd(), &info) != 0 ||
      info.st_uid != geteuid() || (info.st_mode & 07777) != 0700) {
    lock_.reset();
    rmdir(buffer.c_str());
    failure_ =
        context + ": " + buffer + " is not a private directory of this user's.";
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

void TempDir::removeLeftoversOfEndedRuns() const {
  if (path_.empty()) return;
  const std::string base = path_.substr(0, path_.find_last_of('/') + 1);
  const std::unique_ptr<DIR, int (*)(DIR*)> stream(opendir(base.c_str()),
                                                   &closedir);
  if (!stream) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(stream.get())) {
    const std::string path = base + entry->d_name;
    struct stat info;
    if (!isWorkingDirName(entry->d_name) || path == path_ ||
        lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != geteuid() || now - info.st_mtime < kLeftoverAgeSeconds) {
      continue;
    }
    // A live run holds its directory's lock shared: an exclusive one is to
    // be had only once that run has ended.
    const AgentDirLock unused(path, AgentDirLock::Mode::kExclusive);
    struct stat locked;
    if (unused.locked() && fstat(unused.fd(), &locked) == 0 &&
        isSameFile(info, locked)) {
      platform::Service<platform::FileManager>::get().removeItemAtPath(path);
    }
  }
}
