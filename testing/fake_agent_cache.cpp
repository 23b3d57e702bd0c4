#include "testing/fake_agent_cache.h"

std::optional<std::string> FakeAgentCache::offeredStamp() { return stamp; }

AgentCache::Outcome FakeAgentCache::startIfCurrent(
    const std::optional<std::string>& etag,
    const std::function<void()>& beforeStart) {
  if (!stamp || stamp->empty() || etag != stamp) return Outcome::kNotCurrent;
  ++cachedStarts;
  if (beforeStart) beforeStart();
  return startOutcome;
}

AgentCache::Outcome FakeAgentCache::installAndStart(
    const std::string& archive, const std::optional<std::string>& etag,
    const std::function<void()>& beforeStart) {
  installs.push_back({archive, etag});
  if (installOutcome == Outcome::kStarted ||
      installOutcome == Outcome::kNotStarted) {
    if (beforeStart) beforeStart();
    if (onStart) onStart();
  }
  return installOutcome;
}
