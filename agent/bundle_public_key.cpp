#include "agent/bundle_public_key.h"

#include <errno.h>
#include <sys/stat.h>

#include "agent/bundle_paths.h"
#include "agent/small_file.h"

bool loadBundlePublicKey(std::optional<PublicKey>* key, std::string* error) {
  key->reset();
  const std::string path = getInstallAgentPublicKeyLocation();
  // lstat, so that a dangling link counts as a key that cannot be read
  // rather than as no key.
  struct stat info;
  if (path.empty() || (lstat(path.c_str(), &info) != 0 && errno == ENOENT)) {
    return true;
  }
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
