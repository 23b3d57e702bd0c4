#include "testing/fake_agent_cache.h"

namespace {

bool calledOff(const AgentCache::BeforeStart& beforeStart) {
  return beforeStart && !beforeStart();
}

}  // namespace

std::optional<std::string> FakeAgentCache::offeredStamp() { return stamp; }

AgentCache::Outcome FakeAgentCache::startIfCurrent(
    const std::optional<std::string>& etag, const BeforeStart& beforeStart) {
  if (!stamp || stamp->empty() || etag != stamp) return Outcome::kNotCurrent;
  ++cachedStarts;
  return calledOff(beforeStart) ? Outcome::kCalledOff : startOutcome;
}

AgentCache::Outcome FakeAgentCache::installAndStart(
    const std::string& archive, const std::optional<std::string>& etag,
    const BeforeStart& beforeStart) {
  installs.push_back({archive, etag});
  if (installOutcome != Outcome::kStarted) return installOutcome;
  return calledOff(beforeStart) ? Outcome::kCalledOff : installOutcome;
}
