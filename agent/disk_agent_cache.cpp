#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/accepted_release.h"
#include "agent/agent_cache.h"
#include "agent/agent_launch.h"
#include "agent/agent_origin.h"
#include "agent/agent_versions.h"
#include "agent/bundle_paths.h"
#include "agent/cache_directory.h"
#include "agent/cache_locks.h"
#include "agent/install_agent_cache.h"
#include "agent/staged_agent.h"
#include "agent/validation_stamp.h"
#include "agent/verifying_key.h"
#include "base/constants.h"
#include "base/error_reporter.h"
#include "platform/os/file_manager.h"
#include "platform/os/process_info.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"
#include "platform/os/task_launcher.h"

namespace {

void logLine(const std::string& line) {
  platform::Service<platform::SystemLog>::get().log(line);
}

// What unzip reads: for a signed archive, the open file that was verified,
// reached through this process's descriptor, which stays close-on-exec
// (unzip takes only a name); the archive's path may name another file by
// now.
std::string unzipSource(
    const std::string& archive,
    const std::optional<AgentCache::Verification>& verified) {
  if (!verified) return archive;
  return "/proc/" + std::to_string(getpid()) + "/fd/" +
         std::to_string(verified->archiveFd);
}

std::optional<SignedRelease> releaseOf(
    const std::optional<AgentCache::Verification>& verified) {
  if (!verified) return std::nullopt;
  return verified->release;
}

// Whether the file system that holds "path" has (all but) run out of room:
// a write that failed for want of room leaves less than a buffer's worth.
bool isFileSystemFull(const std::string& path) {
  constexpr std::uint64_t kNearlyFull = 1024 * 1024;
  const std::optional<platform::DiskSpace> space =
      platform::Service<platform::FileManager>::get().diskSpaceAt(path);
  return space && space->available < kNearlyFull;
}

// The cache below HOME: agents in directories of their own, the current one
// with its stamp beside it (agent_versions.h). Used only when no other user
// can have placed or changed it (cache_directory.h); otherwise an archive is
// unpacked beside itself, in the working directory, and its agent run
// there without caching. The unpacking's failures go to "reporter".
class DiskAgentCache : public AgentCache {
 public:
  explicit DiskAgentCache(ErrorReporter reporter) : reporter_(reporter) {}

  std::optional<std::string> offeredStamp(
      const std::string& url, const TrustedKeys& trustedKeys) override {
    const std::string cacheDir = getInstallAgentCacheDir();
    std::string unusable;
    if (!checkCacheDirectory(cacheDir, false, &unusable)) return std::nullopt;
    const CacheLock lock(cacheDir);
    std::string stamp = readValidationString(cacheDir);
    const std::string agentDir = currentAgentDir(cacheDir);
    // A stamp stored by an older release may be no entity-tag: it is still
    // compared, never sent.
    if (agentDir.empty() ||
        !isVerifiedWith(agentDir, trustedKeys, releaseClock()) ||
        !cameFrom(agentDir, url) || !isEntityTag(stamp) ||
        stamp.size() > kMaxOfferedStampSize) {
      return std::nullopt;
    }
    return stamp;
  }

  Outcome startIfCurrent(const std::optional<std::string>& etag,
                         const TrustedKeys& trustedKeys,
                         const BeforeStart& beforeStart) override {
    const std::string cacheDir = getInstallAgentCacheDir();
    std::string unusable;
    if (!checkCacheDirectory(cacheDir, false, &unusable)) {
      return Outcome::kNotCurrent;
    }
    // Another run may be replacing the agent: the lock keeps it current
    // until this one has started.
    const CacheLock lock(cacheDir);
    if (!holdsAgentStamped(cacheDir, etag, trustedKeys)) {
      return Outcome::kNotCurrent;
    }
    const Outcome outcome = start(currentAgentDir(cacheDir), beforeStart);
    removeLeftovers(cacheDir);
    return outcome;
  }

  std::unique_ptr<PartialArchive> takePartialArchive(
      const std::string& destination) override {
    const std::string cacheDir = getInstallAgentCacheDir();
    std::string unusable;
    struct stat cache;
    struct stat target;
    if (!checkCacheDirectory(cacheDir, true, &unusable) ||
        stat(cacheDir.c_str(), &cache) != 0 ||
        stat(withoutLastPathComponent(destination).c_str(), &target) != 0 ||
        cache.st_dev != target.st_dev) {
      return nullptr;
    }
    const CacheLock lock(cacheDir);
    return PartialArchive::take(cacheDir);
  }

  Outcome startOffline(const TrustedKeys& trustedKeys,
                       const BeforeStart& beforeStart,
                       std::time_t* downloadedAt) override {
    const std::string cacheDir = getInstallAgentCacheDir();
    std::string unusable;
    if (!checkCacheDirectory(cacheDir, false, &unusable)) {
      return Outcome::kNotCurrent;
    }
    const CacheLock lock(cacheDir);
    const std::string agentDir = currentAgentDir(cacheDir);
    // What a bundle trusts in its cache without the server's word: an
    // agent one of its keys verified, not expired. Nothing else vouches for
    // it here.
    struct stat info;
    if (agentDir.empty() ||
        !isVerifiedWith(agentDir, trustedKeys, releaseClock()) ||
        stat(agentDir.c_str(), &info) != 0) {
      return Outcome::kNotCurrent;
    }
    // The directory was made for the unpacking and never changed since.
    *downloadedAt = info.st_mtime;
    const Outcome outcome = start(agentDir, beforeStart);
    removeLeftovers(cacheDir);
    return outcome;
  }

  Outcome installAndStart(const std::string& url, const std::string& archive,
                          const std::optional<Verification>& verified,
                          const std::optional<std::string>& etag,
                          const BeforeStart& beforeStart) override {
    const std::string cacheDir = getInstallAgentCacheDir();
    std::string unusable;
    std::optional<StagedAgent> staged;
    bool usable = checkCacheDirectory(cacheDir, true, &unusable);
    if (usable) {
      // Made under the lock, so that no run takes it for a leftover; the
      // unpacking, the slow part, goes on without it.
      const CacheLock lock(cacheDir);
      // Refused before the slow unpacking; checked again once it is done,
      // when another run may have installed a newer one.
      if (!followsAccepted(cacheDir, verified)) return Outcome::kRolledBack;
      removeLeftovers(cacheDir);
      staged.emplace(cacheDir, &unusable);
      // Known before the unpack: a file system without symbolic links (FAT,
      // many network shares) can never make an agent current.
      usable = !staged->path().empty() &&
               checkAgentLink(cacheDir, staged->path(), &unusable);
    }
    // Unpacked beside the current agent and made current in one step, so
    // that no run sees or starts a partly unpacked agent, and a failure
    // leaves the cache as it was. unzip's failure is reported once its
    // cause is known: a disk too full for the agent is the cache's failure,
    // not the archive's, and unzip's own complaint has said so.
    if (usable &&
        !unzipInstallAgent(unzipSource(archive, verified), staged->path(),
                           "unzip", [](std::string, bool) {})) {
      if (!isFileSystemFull(staged->path())) {
        reporter_(unzipFailureMessage, true);
        return Outcome::kUnpackFailed;
      }
      unusable = "Not enough disk space in " + cacheDir + " for the agent.";
      usable = false;
    }
    if (!usable) {
      return installUncached(unusable, archive, verified, &staged, beforeStart);
    }
    if (!hasInstallAgentExecutable(staged->path())) {
      return Outcome::kIncomplete;
    }

    {
      const CacheLock lock(cacheDir);
      if (!followsAccepted(cacheDir, verified)) return Outcome::kRolledBack;
      // A run that finished first may have installed the same ETag already,
      // verified alike; it stays and is started.
      const TrustedKeys verifiedWith =
          verified ? TrustedKeys{{verified->release.keyId}} : std::nullopt;
      if (holdsAgentStamped(cacheDir, etag, verifiedWith) ||
          staged->install(etag.value_or(""), releaseOf(verified), url,
                          &unusable)) {
        const Outcome outcome = start(currentAgentDir(cacheDir), beforeStart);
        removeLeftovers(cacheDir);
        return outcome;
      }
    }
    return installUncached(unusable, archive, verified, &staged, beforeStart);
  }

 private:
  // A server refuses request headers much longer than this; a longer stamp
  // is compared with the response's ETag instead of being offered.
  static constexpr std::size_t kMaxOfferedStampSize = 4096;

  // Call with the cache locked.
  static bool holdsAgentStamped(const std::string& cacheDir,
                                const std::optional<std::string>& etag,
                                const TrustedKeys& trustedKeys) {
    const std::string agentDir = currentAgentDir(cacheDir);
    return !agentDir.empty() &&
           isVerifiedWith(agentDir, trustedKeys, releaseClock()) &&
           isCacheValid(cacheDir, etag.value_or(""));
  }

  // Whether a verified archive may follow the release the cache accepted
  // last; logs why not. Call with the cache locked.
  static bool followsAccepted(const std::string& cacheDir,
                              const std::optional<Verification>& verified) {
    std::string why;
    if (!verified ||
        followsAcceptedRelease(cacheDir, verified->release, &why)) {
      return true;
    }
    logLine(why);
    return false;
  }

  // Starts the cached agent in "agentDir", unless "beforeStart" calls it
  // off. Call with the cache locked. The
  // agent inherits a shared lock on its directory, and its launcher is named
  // by that directory, not by the link: the directory and everything in it
  // stay as they are for as long as the agent runs, whatever later runs
  // install.
  static Outcome start(const std::string& agentDir,
                       const BeforeStart& beforeStart) {
    if (agentDir.empty()) return Outcome::kIncomplete;
    const AgentDirLock inUse(agentDir, AgentDirLock::Mode::kShared);
    if (!inUse.locked() || !hasInstallAgentExecutable(agentDir)) {
      return Outcome::kIncomplete;
    }
    if (beforeStart && !beforeStart()) return Outcome::kCalledOff;
    return launch(agentDir, {{inUse.fd()}, false});
  }

  // Logs why the cache cannot take the agent, gives up what "staged" holds
  // there, and runs the agent without the cache.
  Outcome installUncached(const std::string& why, const std::string& archive,
                          const std::optional<Verification>& verified,
                          std::optional<StagedAgent>* staged,
                          const BeforeStart& beforeStart) {
    logLine("Installing without the agent cache: " + why);
    staged->reset();
    return runUncached(archive, verified, beforeStart);
  }

  // Unpacks "archive" into a fresh directory beside it, runs the agent
  // there, waits for it, as nothing would keep its files once this run
  // ends, and removes the directory.
  Outcome runUncached(const std::string& archive,
                      const std::optional<Verification>& verified,
                      const BeforeStart& beforeStart) {
    std::string error;
    const StagedAgent unpacked(
        withoutLastPathComponent(archive) + pathSeparator, &error);
    if (unpacked.path().empty()) {
      logLine(error);
      return Outcome::kUnpackFailed;
    }
    if (!unzipInstallAgent(unzipSource(archive, verified), unpacked.path(),
                           "unzip", reporter_)) {
      return Outcome::kUnpackFailed;
    }
    if (!hasInstallAgentExecutable(unpacked.path())) {
      return Outcome::kIncomplete;
    }
    if (beforeStart && !beforeStart()) return Outcome::kCalledOff;
    return launch(unpacked.path(), {{}, true});
  }

  static Outcome launch(const std::string& agentDir,
                        const platform::LaunchOptions& options) {
    // After "--", the launcher's path is never read as options.
    std::vector<std::string> arguments = {
        "--", getInstallAgentExecutable(agentDir), "-installbundle",
        platform::appendPathComponent(getBundleLocation(), "bundle.zip")};
    const std::vector<std::string> own =
        platform::Service<platform::ProcessInfo>::get().arguments();
    if (own.size() > 1) {
      arguments.insert(arguments.end(), own.begin() + 1, own.end());
    }
    return platform::Service<platform::TaskLauncher>::get().launch(
               "/bin/sh", arguments, options)
               ? Outcome::kStarted
               : Outcome::kNotStarted;
  }

  const ErrorReporter reporter_;
};

}  // namespace

AgentCache& AgentCache::Real() {
  static DiskAgentCache cache(report_error_main);
  return cache;
}
