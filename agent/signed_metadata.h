#ifndef AGENT_SIGNED_METADATA_H_
#define AGENT_SIGNED_METADATA_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a release signs into the trusted comment of its .minisig, which the
// global signature covers: tab-separated "name:value" fields, the form
// minisign writes by default ("timestamp:1765238400\tfile:InstallAgent.zip
// \thashed"). Only the fields below are read; any other field, and a word
// without a colon such as "hashed", is ignored.
struct SignedMetadata {
  // "timestamp": when the archive was signed, in unix time; it orders the
  // releases. minisign writes it itself.
  std::optional<std::int64_t> timestamp;
  // "expires": the unix time after which the release is stale.
  std::optional<std::int64_t> expires;
  // "agent": the release and platform the archive is for, as
  // "<releaseTag>/<platformTag>".
  std::optional<std::string> agent;
};

// Reads the fields of "trustedComment" into "*metadata". False, with a
// one-line reason in "*error", when one of them is given twice or its value
// does not parse: a unix time is 1 to 18 decimal digits, an agent two
// non-empty names joined by one "/".
bool parseSignedMetadata(std::string_view trustedComment,
                         SignedMetadata* metadata, std::string* error);

#endif  // AGENT_SIGNED_METADATA_H_
