#include "agent/verifying_key.h"

#include <unistd.h>

#include <cstdio>

#include "agent/private_file.h"

namespace {

std::string recordPath(const std::string& agentDir) {
  return agentDir + ".verifiedkey";
}

// minisign reads the id as a little-endian number and prints that.
std::string keyIdText(const KeyId& keyId) {
  std::string text;
  for (auto byte = keyId.rbegin(); byte != keyId.rend(); ++byte) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", *byte);
    text += digits;
  }
  return text;
}

}  // namespace

bool recordVerifyingKey(const std::string& agentDir,
                        const std::optional<KeyId>& keyId) {
  const std::string path = recordPath(agentDir);
  // What cannot be removed (a directory, say) is no record either.
  if (!keyId) return unlink(path.c_str()) == 0 || readPrivateLine(path).empty();
  return replacePrivateFile(path, keyIdText(*keyId) + "\n");
}

bool isVerifiedWith(const std::string& agentDir,
                    const std::optional<KeyId>& requiredKey) {
  return !requiredKey ||
         readPrivateLine(recordPath(agentDir)) == keyIdText(*requiredKey);
}
