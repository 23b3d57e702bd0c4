#include "agent/verifying_key.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>

#include "agent/private_file.h"
#include "platform/os/posix_error.h"

namespace {

// Far more than a key id and an expiry take.
constexpr std::string::size_type kMaxRecordSize = 256;

std::string recordPath(const std::string& agentDir) {
  return agentDir + ".verifiedkey";
}

}  // namespace

bool recordVerifyingKey(const std::string& agentDir,
                        const std::optional<SignedRelease>& release,
                        std::string* error) {
  const std::string path = recordPath(agentDir);
  if (release) {
    std::string record = keyIdText(release->keyId) + "\n";
    if (release->metadata.expires) {
      record += "expires:" + std::to_string(*release->metadata.expires) + "\n";
    }
    return replacePrivateFile(path, record, error);
  }
  if (unlink(path.c_str()) == 0) return true;
  const int unlinkError = errno;
  // What cannot be removed (a directory, say) is no record either.
  if (readPrivateLine(path).empty()) return true;
  *error = platform::posixError("", unlinkError);
  return false;
}

bool isVerifiedWith(const std::string& agentDir,
                    const std::optional<std::vector<KeyId>>& trustedKeys,
                    std::int64_t now) {
  if (!trustedKeys) return true;
  const std::string record =
      readPrivateText(recordPath(agentDir), kMaxRecordSize);
  const std::string::size_type end = record.find('\n');
  const std::string keyId = record.substr(0, end);
  if (keyId.empty() ||
      std::none_of(trustedKeys->begin(), trustedKeys->end(),
                   [&](const KeyId& key) { return keyIdText(key) == keyId; })) {
    return false;
  }
  // The second line, if any, is the expiry, in the trusted comment's form.
  const std::string expiryLine =
      end == std::string::npos
          ? ""
          : record.substr(end + 1, record.find('\n', end + 1) - end - 1);
  if (expiryLine.empty()) return true;
  SignedMetadata expiry;
  std::string unparsed;
  // A line that does not read is taken as an expiry passed.
  return parseSignedMetadata(expiryLine, &expiry, &unparsed) &&
         expiry.expires && !hasExpired(expiry.expires, now);
}
