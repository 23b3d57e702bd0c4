#include "agent/bundle_public_key.h"

#include "agent/bundle_paths.h"
#include "agent/small_file.h"

bool loadBundlePublicKey(std::optional<PublicKey>* key, std::string* error) {
  key->reset();
  const std::string path = getInstallAgentPublicKeyLocation();
  if (path.empty() || isAbsentFile(path)) return true;
  std::string text;
  std::string reason;
  PublicKey parsed;
  if (!readSmallFile(path, kMaxPublicKeyFileSize, &text, &reason) ||
      !parsePublicKey(text, &parsed, &reason)) {
    *error = "Cannot use the public key " + path + ": " + reason;
    return false;
  }
  *key = parsed;
  return true;
}
