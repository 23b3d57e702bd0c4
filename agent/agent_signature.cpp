#include "agent/agent_signature.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";

// The lines of "text" without their "\n" or "\r\n"; a last line without a
// line feed counts too. Empty lines at the end are dropped: minisign reads
// past them, and an editor or an upload tool may add one.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Standard base64 with its padding, in canonical form only; nullopt for
// anything else.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() &&
         text[text.size() - 1 - padding] == '=') {
    ++padding;
  }
  std::vector<std::uint8_t> bytes;
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (std::size_t i = 0; i < text.size() - padding; ++i) {
    const int value = base64Value(text[i]);
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> bitCount));
      bits &= (1u << bitCount) - 1;
    }
  }
  // Left-over bits must be zero, or two texts would mean the same bytes.
  if (bits != 0) return std::nullopt;
  return bytes;
}

// The base64 "line" decoded to exactly "size" bytes.
std::optional<std::vector<std::uint8_t>> decodeField(std::string_view line,
                                                     std::size_t size) {
  std::optional<std::vector<std::uint8_t>> bytes = decodeBase64(line);
  if (!bytes || bytes->size() != size) return std::nullopt;
  return bytes;
}

template <std::size_t N>
void copyBytes(const std::vector<std::uint8_t>& from, std::size_t offset,
               std::array<std::uint8_t, N>* to) {
  std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(offset), N,
              to->begin());
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool fail(std::string* error, const std::string& reason) {
  *error = reason;
  return false;
}

// One key of a key file: its "untrusted comment: " line and its key line.
bool parseKeyLines(std::string_view comment, std::string_view line,
                   PublicKey* key, std::string* error) {
  if (!startsWith(comment, kUntrustedPrefix)) {
    return fail(error, "Not a minisign public key file.");
  }
  const auto bytes = decodeField(line, 2 + 8 + 32);
  if (!bytes) return fail(error, "The key line is not a minisign public key.");
  if ((*bytes)[0] != 'E' || (*bytes)[1] != 'd') {
    return fail(error, "The key is not an Ed25519 key.");
  }
  copyBytes(*bytes, 2, &key->keyId);
  copyBytes(*bytes, 10, &key->key);
  return true;
}

}  // namespace

std::string keyIdText(const KeyId& keyId) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (auto byte = keyId.rbegin(); byte != keyId.rend(); ++byte) {
    text += kDigits[*byte >> 4];
    text += kDigits[*byte & 0xF];
  }
  return text;
}

bool parsePublicKey(std::string_view text, PublicKey* key, std::string* error) {
  std::vector<PublicKey> keys;
  if (!parsePublicKeys(text, &keys, error)) return false;
  if (keys.size() != 1) return fail(error, "Not a minisign public key file.");
  *key = keys[0];
  return true;
}

bool parsePublicKeys(std::string_view text, std::vector<PublicKey>* keys,
                     std::string* error) {
  keys->clear();
  if (text.size() > kMaxPublicKeyFileSize) {
    return fail(error, "The file is too large for a public key.");
  }
  const std::vector<std::string_view> lines = splitLines(text);
  if (lines.empty() || lines.size() % 2 != 0) {
    return fail(error, "Not a minisign public key file.");
  }
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    PublicKey key;
    if (!parseKeyLines(lines[i], lines[i + 1], &key, error)) return false;
    // A signature names its key by the id alone.
    for (const PublicKey& earlier : *keys) {
      if (earlier.keyId == key.keyId) {
        keys->clear();
        return fail(error, "Two keys have the same key id.");
      }
    }
    keys->push_back(key);
  }
  return true;
}

bool parseAgentSignature(std::string_view text, AgentSignature* signature,
                         std::string* error) {
  if (text.size() > kMaxSignatureFileSize) {
    return fail(error, "The file is too large for a signature.");
  }
  const std::vector<std::string_view> lines = splitLines(text);
  if (lines.size() != 4 || !startsWith(lines[0], kUntrustedPrefix) ||
      !startsWith(lines[2], kTrustedPrefix)) {
    return fail(error, "Not a minisign signature file.");
  }
  const auto bytes = decodeField(lines[1], 2 + 8 + 64);
  if (!bytes) return fail(error, "The signature line is not valid.");
  if ((*bytes)[0] != 'E' || ((*bytes)[1] != 'D' && (*bytes)[1] != 'd')) {
    return fail(error, "The signature is not an Ed25519 signature.");
  }
  const auto global = decodeField(lines[3], 64);
  if (!global) return fail(error, "The global signature line is not valid.");

  signature->prehashed = (*bytes)[1] == 'D';
  copyBytes(*bytes, 2, &signature->keyId);
  copyBytes(*bytes, 10, &signature->signature);
  signature->trustedComment =
      std::string(lines[2].substr(kTrustedPrefix.size()));
  copyBytes(*global, 0, &signature->globalSignature);
  return true;
}
