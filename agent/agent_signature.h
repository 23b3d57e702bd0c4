#ifndef AGENT_AGENT_SIGNATURE_H_
#define AGENT_AGENT_SIGNATURE_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The two minisign files that sign a downloaded agent archive: the vendor's
// public key, shipped in the bundle, and the detached signature (.minisig)
// served beside the archive. Parsing only; nothing here verifies. Lines end
// with "\n" or "\r\n", and empty lines after the last are ignored, as
// minisign ignores them; anything else there is refused. Every failure gives
// a one-line reason in "*error".

using KeyId = std::array<std::uint8_t, 8>;

// An Ed25519 public key with minisign's random key id.
struct PublicKey {
  KeyId keyId{};
  std::array<std::uint8_t, 32> key{};
};

struct AgentSignature {
  // True for the default form, which signs the BLAKE2b-512 digest of the
  // archive; false for the legacy one, which signs the archive itself.
  bool prehashed = false;
  KeyId keyId{};
  std::array<std::uint8_t, 64> signature{};
  // The text after "trusted comment: ", which the global signature covers
  // together with "signature".
  std::string trustedComment;
  std::array<std::uint8_t, 64> globalSignature{};
};

// The key id as minisign shows it: 16 upper-case hex digits of the id read
// as a little-endian number.
std::string keyIdText(const KeyId& keyId);

// Neither file is longer in practice; anything longer is refused unread.
constexpr std::size_t kMaxSignatureFileSize = 16 * 1024;
constexpr std::size_t kMaxPublicKeyFileSize = 4 * 1024;

// A public key file as `minisign -G` writes it: an "untrusted comment: "
// line, then the base64 of "Ed", the key id and the key.
bool parsePublicKey(std::string_view text, PublicKey* key, std::string* error);

// A file of one or more such keys, one after another, so that a bundle can
// trust a new key beside the old one while releases move to it. No two may
// have the same key id. "*keys" is empty after a failure.
bool parsePublicKeys(std::string_view text, std::vector<PublicKey>* keys,
                     std::string* error);

// A .minisig file: an "untrusted comment: " line, the base64 of the
// algorithm ("ED" prehashed, "Ed" legacy), the key id and the signature, a
// "trusted comment: " line, and the base64 of the global signature.
bool parseAgentSignature(std::string_view text, AgentSignature* signature,
                         std::string* error);

#endif  // AGENT_AGENT_SIGNATURE_H_
