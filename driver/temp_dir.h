#ifndef DRIVER_TEMP_DIR_H_
#define DRIVER_TEMP_DIR_H_

#include <optional>
#include <string>

#include "agent/cache_locks.h"

// Owns one fresh working directory, "qz" and six random characters, made
// with mode 0700 in the user's temporary directory, or in /tmp when there is
// none or it cannot take one. A temporary directory takes one only when no
// other user can move what it holds: it and every directory above it, links
// resolved, must be the user's or root's and writable by no one else unless
// sticky, as /tmp is. The directory is locked
// (AgentDirLock, shared) while the object lives, in this process only, and
// it and everything put into it are removed on destruction.
class TempDir {
 public:
  // "name" is accepted and not used; the directory's name is always random.
  explicit TempDir(std::string name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory's path without a trailing separator, or "" when none could
  // be created.
  std::string getDir() const;
  // Why there is no directory, in one line; "" when there is one.
  const std::string& failure() const { return failure_; }

  // Removes the working directories beside this one that ended runs left
  // (killed ones, say): those that are real directories of the user's, not
  // locked, and unchanged for ten minutes. Anything else stays.
  void removeLeftoversOfEndedRuns() const;

 private:
  // Makes the directory in "base"; false, with failure_ set, when it cannot.
  bool create(const std::string& base);

  std::string path_;
  std::string failure_;
  std::optional<AgentDirLock> lock_;
};

#endif  // DRIVER_TEMP_DIR_H_
