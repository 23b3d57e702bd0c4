#ifndef TESTING_FAKE_AGENT_CACHE_H_
#define TESTING_FAKE_AGENT_CACHE_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_cache.h"

// A cache that answers as the test sets it and records what it was asked;
// it unpacks and starts nothing.
class FakeAgentCache : public AgentCache {
 public:
  struct Install {
    std::string url;
    std::string archive;
    std::optional<Verification> verified;
    std::optional<std::string> etag;
  };

  // Offers the stamp to "origin" alone, when set.
  std::optional<std::string> offeredStamp(
      const std::string& url, const TrustedKeys& trustedKeys) override;
  Outcome startIfCurrent(const std::optional<std::string>& etag,
                         const TrustedKeys& trustedKeys,
                         const BeforeStart& beforeStart) override;
  // The slot in "partialDir" when set, else none.
  std::unique_ptr<PartialArchive> takePartialArchive(
      const std::string& destination) override;
  // Starts the cached agent when "downloadedAt" is set, as startIfCurrent
  // does with a matching stamp.
  Outcome startOffline(const TrustedKeys& trustedKeys,
                       const BeforeStart& beforeStart,
                       std::time_t* downloadedAt) override;
  // Records the install; calls "beforeStart" when installOutcome is kStarted.
  Outcome installAndStart(const std::string& url, const std::string& archive,
                          const std::optional<Verification>& verified,
                          const std::optional<std::string>& etag,
                          const BeforeStart& beforeStart) override;

  // The stamp of the cached agent, offered and matched; nullopt for none.
  std::optional<std::string> stamp;
  // The URL the cached agent came from; nullopt: any.
  std::optional<std::string> origin;
  // The key the cached agent was verified with; nullopt for none. A stamp
  // is offered and matched with trusted keys only when this is one of them.
  std::optional<KeyId> verifiedWith;
  // Where the partial archive is kept (ending with "/"); nullopt: nowhere.
  std::optional<std::string> partialDir;
  // When the cached agent was unpacked; nullopt: the cache holds none to
  // start offline.
  std::optional<std::time_t> downloadedAt;
  // What starting the cached agent, and installing an archive, give.
  Outcome startOutcome = Outcome::kStarted;
  Outcome installOutcome = Outcome::kStarted;

  // startIfCurrent and startOffline calls that found the agent to start
  int cachedStarts = 0;
  std::vector<Install> installs;
  // Called where installAndStart's agent would start.
  std::function<void()> onStart;
  // Called where an agent would be unpacked or waited for, before
  // "beforeStart".
  std::function<void()> whileBusy;
};

#endif  // TESTING_FAKE_AGENT_CACHE_H_
