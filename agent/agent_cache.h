#ifndef AGENT_AGENT_CACHE_H_
#define AGENT_AGENT_CACHE_H_

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_signature.h"
#include "agent/partial_archive.h"
#include "agent/signed_release.h"

// The per-user cache of the install agent, as the download window uses it:
// which stamp to offer the server, and starting the agent that the server's
// ETag vouches for, from the cache or from a downloaded archive. Abstract so
// that the window's tests can put a double in; the real one is Real(),
// reached through platform::Service<AgentCache>. Every call looks at and
// changes the cache under its lock, so that runs at once see each other's
// updates whole. A cache that another user could have placed or changed,
// or that cannot be written, is not used: a downloaded agent is then
// unpacked in the working directory and run from there, and waited for.
// A bundle with keys trusts only cached agents whose archive was verified
// with one of them and whose signature has not expired (verifying_key.h):
// any other is treated as not current. It installs no signed archive older
// than the one it accepted last (accepted_release.h).
//
// Starting an agent runs its launcher through /bin/sh with "-installbundle",
// the product archive (bundle.zip in the bundle's resources) and the
// process's own arguments, and does not wait for it.
class AgentCache {
 public:
  // How a start ended.
  enum class Outcome {
    kStarted,       // the agent was handed to the system and runs
    kNotCurrent,    // startIfCurrent: no cached agent carries the ETag
    kUnpackFailed,  // the archive could not be unpacked into the cache
    kIncomplete,    // there is no launcher to start
    kNotStarted,    // the system refused to start the launcher
    kCalledOff,     // beforeStart said no
    kRolledBack,    // installAndStart: signed before the agent accepted last
  };

  // Called with the cache locked, right before the agent starts; the agent
  // starts only when it returns true. An empty one always lets it start.
  using BeforeStart = std::function<bool()>;

  // How a signed archive was checked: what its signature vouched for, and
  // the open archive the check read, which must stay open until
  // installAndStart returns. The cache unpacks that open file, never the
  // archive's path again, which may name another file by now.
  struct Verification {
    SignedRelease release;
    int archiveFd;
  };

  // The ids of the bundle's keys; nullopt for a bundle without a key.
  using TrustedKeys = std::optional<std::vector<KeyId>>;

  static AgentCache& Real();
  virtual ~AgentCache() = default;

  // The cached agent's stamp, to offer "url" as If-None-Match; nullopt
  // when the cache holds no agent or no stamp, when the agent was not
  // downloaded from "url", when it is not trusted by "trustedKeys"
  // (verified with one of them, not expired), or when the stamp is longer
  // than a server takes in a header (4096 bytes): startIfCurrent still
  // compares it with the response's ETag.
  virtual std::optional<std::string> offeredStamp(
      const std::string& url, const TrustedKeys& trustedKeys) = 0;

  // When the cache holds an agent stamped "etag" and trusted by
  // "trustedKeys" (as above), calls "beforeStart" and starts that agent;
  // kNotCurrent, with nothing called or started, otherwise. An absent or
  // empty ETag never matches.
  virtual Outcome startIfCurrent(const std::optional<std::string>& etag,
                                 const TrustedKeys& trustedKeys,
                                 const BeforeStart& beforeStart) = 0;

  // The slot for this run's download, which keeps what arrived when the
  // run ends before the archive is complete (partial_archive.h), for an
  // archive that is to end up at "destination"; nullptr when the cache
  // cannot be used, lies on another file system than "destination" (whose
  // disk checks and final rename the download keeps), or another run holds
  // the slot: the download then goes to "destination" and is not kept.
  virtual std::unique_ptr<PartialArchive> takePartialArchive(
      const std::string& destination) = 0;

  // For a run that cannot reach the server: when the cache holds an agent
  // "trustedKeys" trusts (as above), whatever its stamp, sets
  // "*downloadedAt" to when it was unpacked, calls "beforeStart" and starts
  // it; kNotCurrent, with nothing called or started, otherwise.
  virtual Outcome startOffline(const TrustedKeys& trustedKeys,
                               const BeforeStart& beforeStart,
                               std::time_t* downloadedAt) = 0;

  // Installs the agent in "archive", downloaded from "url", with "etag" as
  // its stamp (none without one: the agent then has no stamp), recorded as
  // verified as "verified" says (nullopt: not verified), calls
  // "beforeStart" and starts it. When the cache meanwhile got an agent under
  // the same ETag from another run, verified with the same key, that one stays
  // and is started. A verified archive signed before the release the cache
  // accepted last is refused (kRolledBack), and the reason logged. A
  // failure before the start leaves the cache as it was.
  virtual Outcome installAndStart(const std::string& url,
                                  const std::string& archive,
                                  const std::optional<Verification>& verified,
                                  const std::optional<std::string>& etag,
                                  const BeforeStart& beforeStart) = 0;
};

#endif  // AGENT_AGENT_CACHE_H_
