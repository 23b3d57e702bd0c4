#include <string>
#include <vector>

#include "agent/agent_cache.h"
#include "agent/agent_launch.h"
#include "agent/bundle_paths.h"
#include "agent/cache_lock.h"
#include "agent/install_agent_cache.h"
#include "agent/staged_agent.h"
#include "agent/validation_stamp.h"
#include "base/error_reporter.h"
#include "platform/os/file_manager.h"
#include "platform/os/process_info.h"
#include "platform/os/service.h"
#include "platform/os/system_log.h"
#include "platform/os/task_launcher.h"

namespace {

// The cache below HOME: one agent directory with its stamp beside it.
class DiskAgentCache : public AgentCache {
 public:
  std::optional<std::string> offeredStamp() override {
    const std::string cacheDir = getInstallAgentCacheDir();
    const CacheLock lock(cacheDir);
    std::string stamp = readValidationString(cacheDir);
    if (installAgentDirOnDisk().empty() || stamp.empty()) return std::nullopt;
    return stamp;
  }

  Outcome startIfCurrent(const std::optional<std::string>& etag,
                         const BeforeStart& beforeStart) override {
    // Another run may be replacing the agent: the lock keeps it in place
    // until this one has started.
    const CacheLock lock(getInstallAgentCacheDir());
    if (!holdsAgentStamped(etag)) return Outcome::kNotCurrent;
    return start(beforeStart);
  }

  Outcome installAndStart(const std::string& archive,
                          const std::optional<std::string>& etag,
                          const BeforeStart& beforeStart) override {
    // Unpacked beside the agent directory and renamed into place, so that no
    // run sees or starts a partly unpacked agent, and a failure leaves the
    // cache as it was.
    const std::string cacheDir = getInstallAgentCacheDir();
    StagedAgent staged(cacheDir);
    if (staged.path().empty() ||
        !unzipInstallAgent(archive, staged.path(), "unzip",
                           report_error_main)) {
      return unpackFailed(staged);
    }
    if (!hasInstallAgentExecutable(staged.path())) return Outcome::kIncomplete;

    const CacheLock lock(cacheDir);
    // A run that finished first may have installed the same ETag already;
    // its agent may be starting, so it stays.
    if (!holdsAgentStamped(etag) && !staged.install(etag.value_or(""))) {
      return unpackFailed(staged);
    }
    return start(beforeStart);
  }

 private:
  // Call with the cache locked.
  static bool holdsAgentStamped(const std::optional<std::string>& etag) {
    return !installAgentDirOnDisk().empty() &&
           isCacheValid(getInstallAgentCacheDir(), etag.value_or(""));
  }

  // The unzip tool reports its own failure; the cache's is logged here.
  static Outcome unpackFailed(const StagedAgent& staged) {
    if (!staged.error().empty()) {
      platform::Service<platform::SystemLog>::get().log(staged.error());
    }
    return Outcome::kUnpackFailed;
  }

  // Starts the cached agent, unless "beforeStart" calls it off. Call with
  // the cache locked.
  static Outcome start(const BeforeStart& beforeStart) {
    const std::string agentDir = installAgentDirOnDisk();
    if (agentDir.empty()) return Outcome::kIncomplete;
    if (beforeStart && !beforeStart()) return Outcome::kCalledOff;
    std::vector<std::string> arguments = {
        getInstallAgentExecutable(agentDir), "-installbundle",
        platform::appendPathComponent(getBundleLocation(), "bundle.zip")};
    const std::vector<std::string> own =
        platform::Service<platform::ProcessInfo>::get().arguments();
    if (own.size() > 1) {
      arguments.insert(arguments.end(), own.begin() + 1, own.end());
    }
    return platform::Service<platform::TaskLauncher>::get().launch("/bin/sh",
                                                                   arguments)
               ? Outcome::kStarted
               : Outcome::kNotStarted;
  }
};

}  // namespace

AgentCache& AgentCache::Real() {
  static DiskAgentCache cache;
  return cache;
}
