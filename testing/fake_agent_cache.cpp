#include "testing/fake_agent_cache.h"

#include <algorithm>

namespace {

bool calledOff(const AgentCache::BeforeStart& beforeStart) {
  return beforeStart && !beforeStart();
}

bool trusts(const AgentCache::TrustedKeys& trustedKeys,
            const std::optional<KeyId>& verifiedWith) {
  return !trustedKeys ||
         (verifiedWith &&
          std::find(trustedKeys->begin(), trustedKeys->end(), *verifiedWith) !=
              trustedKeys->end());
}

}  // namespace

std::optional<std::string> FakeAgentCache::offeredStamp(
    const std::string& url, const TrustedKeys& trustedKeys) {
  if (!trusts(trustedKeys, verifiedWith)) return std::nullopt;
  if (origin && url != *origin) return std::nullopt;
  return stamp;
}

AgentCache::Outcome FakeAgentCache::startIfCurrent(
    const std::optional<std::string>& etag,
    const TrustedKeys& trustedKeys, const BeforeStart& beforeStart) {
  if (!stamp || stamp->empty() || etag != stamp ||
      !trusts(trustedKeys, verifiedWith)) {
    return Outcome::kNotCurrent;
  }
  ++cachedStarts;
  if (whileBusy) whileBusy();
  return calledOff(beforeStart) ? Outcome::kCalledOff : startOutcome;
}

std::unique_ptr<PartialArchive> FakeAgentCache::takePartialArchive(
    const std::string&) {
  return partialDir ? PartialArchive::take(*partialDir) : nullptr;
}

AgentCache::Outcome FakeAgentCache::startOffline(const TrustedKeys& trustedKeys,
                                                 const BeforeStart& beforeStart,
                                                 std::time_t* downloadedAtOut) {
  if (!downloadedAt || !trusts(trustedKeys, verifiedWith)) {
    return Outcome::kNotCurrent;
  }
  *downloadedAtOut = *downloadedAt;
  ++cachedStarts;
  return calledOff(beforeStart) ? Outcome::kCalledOff : startOutcome;
}

AgentCache::Outcome FakeAgentCache::installAndStart(
    const std::string& url, const std::string& archive,
    const std::optional<Verification>& verified,
    const std::optional<std::string>& etag, const BeforeStart& beforeStart) {
  installs.push_back({url, archive, verified, etag});
  if (whileBusy) whileBusy();
  if (installOutcome != Outcome::kStarted) return installOutcome;
  if (calledOff(beforeStart)) return Outcome::kCalledOff;
  if (onStart) onStart();
  return installOutcome;
}
