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
    std::string archive;
    std::optional<Verification> verified;
    std::optional<std::string> etag;
  };

  std::optional<std::string> offeredStamp(
      const TrustedKeys& trustedKeys) override;
  Outcome startIfCurrent(const std::optional<std::string>& etag,
                         const TrustedKeys& trustedKeys,
                         const BeforeStart& beforeStart) override;
  // Records the install; calls "beforeStart" when installOutcome is kStarted.
  Outcome installAndStart(const std::string& archive,
                          const std::optional<Verification>& verified,
                          const std::optional<std::string>& etag,
                          const BeforeStart& beforeStart) override;

  // The stamp of the cached agent, offered and matched; nullopt for none.
  std::optional<std::string> stamp;
  // The key the cached agent was verified with; nullopt for none. A stamp
  // is offered and matched with trusted keys only when this is one of them.
  std::optional<KeyId> verifiedWith;
  // What starting the cached agent, and installing an archive, give.
  Outcome startOutcome = Outcome::kStarted;
  Outcome installOutcome = Outcome::kStarted;

  int cachedStarts = 0;  // startIfCurrent calls that found the agent current
  std::vector<Install> installs;
  // Called where installAndStart's agent would start.
  std::function<void()> onStart;
  // Called where an agent would be unpacked or waited for, before
  // "beforeStart".
  std::function<void()> whileBusy;
};

#endif  // TESTING_FAKE_AGENT_CACHE_H_
