// Fuzzes the parsers of the public key file, the .minisig file and the
// fields of its trusted comment, which read what the bundle and a download
// server give: whatever the input, they return, a signature they take has a
// one-line trusted comment from within the input, and the fields they take
// hold what they may hold.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_signature.h"
#include "agent/signed_metadata.h"

namespace {

void checkMetadata(std::string_view comment) {
  SignedMetadata metadata;
  std::string error;
  if (!parseSignedMetadata(comment, &metadata, &error)) {
    if (error.empty()) std::abort();
    return;
  }
  for (const auto& time : {metadata.timestamp, metadata.expires}) {
    if (time && *time < 0) std::abort();
  }
  if (metadata.agent && (metadata.agent->find('/') == std::string::npos ||
                         metadata.agent->find('\t') != std::string::npos ||
                         comment.find(*metadata.agent) ==
                             std::string_view::npos)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::vector<PublicKey> keys;
  if (!parsePublicKeys(text, &keys, &error) && error.empty()) std::abort();
  checkMetadata(text);

  AgentSignature signature;
  error.clear();
  if (!parseAgentSignature(text, &signature, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const std::string& comment = signature.trustedComment;
  if (comment.find('\n') != std::string::npos ||
      text.find(comment) == std::string_view::npos) {
    std::abort();
  }
  checkMetadata(comment);
  return 0;
}
