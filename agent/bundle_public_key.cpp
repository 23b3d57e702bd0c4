#include "agent/bundle_public_key.h"

#include "agent/bundle_paths.h"
#include "agent/signed_metadata.h"
#include "agent/small_file.h"

namespace {

bool readFloor(const std::string& path, std::optional<std::int64_t>* floor,
               std::string* error) {
  std::string text;
  if (!readSmallFile(path, 64, &text, error)) return false;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  // Read as the signed "timestamp" field is.
  SignedMetadata parsed;
  if (!parseSignedMetadata("timestamp:" + text, &parsed, error)) {
    *error = "It is no unix time.";
    return false;
  }
  *floor = parsed.timestamp;
  return true;
}

}  // namespace

std::vector<KeyId> SigningKeys::keyIds() const {
  std::vector<KeyId> ids;
  for (const PublicKey& key : keys) ids.push_back(key.keyId);
  return ids;
}

bool loadBundleSigningKeys(std::optional<SigningKeys>* keys,
                           std::string* error) {
  keys->reset();
  const std::string path = getInstallAgentPublicKeyLocation();
  if (path.empty() || isAbsentFile(path)) return true;
  std::string text;
  std::string reason;
  SigningKeys parsed;
  if (!readSmallFile(path, kMaxPublicKeyFileSize, &text, &reason) ||
      !parsePublicKeys(text, &parsed.keys, &reason)) {
    *error = "Cannot use the public key " + path + ": " + reason;
    return false;
  }
  const std::string floorPath = getInstallAgentFloorLocation();
  if (!isAbsentFile(floorPath) &&
      !readFloor(floorPath, &parsed.floor, &reason)) {
    *error = "Cannot use the floor " + floorPath + ": " + reason;
    return false;
  }
  *keys = std::move(parsed);
  return true;
}
