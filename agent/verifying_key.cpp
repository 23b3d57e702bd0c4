#include "agent/verifying_key.h"

#include <errno.h>
#include <unistd.h>

#include <cstdio>

#include "agent/private_file.h"
#include "platform/os/posix_error.h"

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
                        const std::optional<KeyId>& keyId, std::string* error) {
  const std::string path = recordPath(agentDir);
  if (keyId) return replacePrivateFile(path, keyIdText(*keyId) + "\n", error);
  if (unlink(path.c_str()) == 0) return true;
  const int unlinkError = errno;
  // What cannot be removed (a directory, say) is no record either.
  if (readPrivateLine(path).empty()) return true;
  *error = platform::posixError("", unlinkError);
  return false;
}

bool isVerifiedWith(const std::string& agentDir,
                    const std::optional<KeyId>& requiredKey) {
  return !requiredKey ||
         readPrivateLine(recordPath(agentDir)) == keyIdText(*requiredKey);
}
