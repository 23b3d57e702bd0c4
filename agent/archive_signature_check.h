#ifndef AGENT_ARCHIVE_SIGNATURE_CHECK_H_
#define AGENT_ARCHIVE_SIGNATURE_CHECK_H_

#include <cstdint>
#include <memory>
#include <string>

#include "agent/agent_signature.h"
#include "platform/os/unique_fd.h"

// Checks a downloaded agent archive against its minisign signature and the
// bundle's key. The archive is hashed while it arrives: each piece is read
// back from the file just after it was written, while the system still
// caches it, so that the check adds no second pass over a large archive.
// Only a legacy signature, which covers the archive itself rather than its
// digest, has the whole file read once more (Ed25519 takes its message in
// one piece).
class ArchiveSignatureCheck {
 public:
  ArchiveSignatureCheck(const PublicKey& key, std::string archivePath);
  ~ArchiveSignatureCheck();
  ArchiveSignatureCheck(const ArchiveSignatureCheck&) = delete;
  ArchiveSignatureCheck& operator=(const ArchiveSignatureCheck&) = delete;

  // The archive's body starts, or starts over, at its first byte; the file
  // must exist by now.
  void restart();
  // "length" more bytes were appended to the archive.
  void archiveGrewBy(std::uint64_t length);

  // True when the .minisig file at "signaturePath" signs the archive as it
  // is now with the bundle's key, trusted comment included. Otherwise false,
  // with a one-line reason in "*error"; a piece that could not be read back
  // fails the check too. Call once, after the archive is complete.
  bool verify(const std::string& signaturePath, std::string* error);

 private:
  bool verifyMessage(const AgentSignature& signature, std::string* error);

  PublicKey key_;
  std::string archivePath_;
  platform::UniqueFd archive_;
  std::uint64_t hashed_ = 0;
  std::string readError_;  // why the archive could not be hashed
  struct Digest;
  std::unique_ptr<Digest> digest_;
};

#endif  // AGENT_ARCHIVE_SIGNATURE_CHECK_H_
