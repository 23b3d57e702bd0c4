// Fuzzes the parsers of the public key file and the .minisig file, which
// read what the bundle and a download server give: whatever the input, they
// return, and a signature they take has a one-line trusted comment from
// within the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "agent/agent_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  PublicKey key;
  if (!parsePublicKey(text, &key, &error) && error.empty()) std::abort();

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
  return 0;
}
