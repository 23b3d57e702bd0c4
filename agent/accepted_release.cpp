#include "agent/accepted_release.h"

#include <optional>

#include "agent/private_file.h"
#include "base/constants.h"

namespace {

// Far more than the line takes.
constexpr std::string::size_type kMaxRecordSize = 512;

std::string recordPath(const std::string& cacheDir) {
  return cacheDir + acceptedReleaseFileName;
}

std::string digestText(const ArchiveDigest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

struct Accepted {
  std::int64_t timestamp;
  std::string digest;  // as digestText writes it
};

// The record; nullopt for none, or for one that does not read.
std::optional<Accepted> readAccepted(const std::string& cacheDir) {
  std::string line = readPrivateText(recordPath(cacheDir), kMaxRecordSize);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  // The record's fields are in the trusted comment's form, timestamp
  // included.
  SignedMetadata fields;
  std::string unparsed;
  if (!parseSignedMetadata(line, &fields, &unparsed) || !fields.timestamp) {
    return std::nullopt;
  }
  const std::string digestField = "\tdigest:";
  const std::string::size_type at = line.find(digestField);
  if (at == std::string::npos) return std::nullopt;
  const std::string::size_type start = at + digestField.size();
  return Accepted{*fields.timestamp,
                  line.substr(start, line.find('\t', start) - start)};
}

}  // namespace

bool followsAcceptedRelease(const std::string& cacheDir,
                            const SignedRelease& release, std::string* error) {
  const std::optional<Accepted> accepted = readAccepted(cacheDir);
  if (!accepted) return true;
  const std::optional<std::int64_t>& timestamp = release.metadata.timestamp;
  const std::string installed = formatUnixTime(accepted->timestamp);
  if (!timestamp) {
    *error =
        "The installer on the server has no signed time; the one "
        "already installed was signed at " +
        installed + ".";
    return false;
  }
  if (*timestamp < accepted->timestamp) {
    *error = "The installer on the server was signed at " +
             formatUnixTime(*timestamp) +
             ", before the one already installed, signed at " + installed + ".";
    return false;
  }
  if (*timestamp == accepted->timestamp &&
      digestText(release.digest) != accepted->digest) {
    *error = "The installer on the server was signed at " + installed +
             ", as the one already installed was, but is another archive.";
    return false;
  }
  return true;
}

bool recordAcceptedRelease(const std::string& cacheDir,
                           const SignedRelease& release, std::string* error) {
  if (!release.metadata.timestamp) return true;
  return replacePrivateFile(
      recordPath(cacheDir),
      "timestamp:" + std::to_string(*release.metadata.timestamp) +
          "\tdigest:" + digestText(release.digest) +
          "\tkey:" + keyIdText(release.keyId) + "\n",
      error);
}
