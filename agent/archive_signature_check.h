#ifndef AGENT_ARCHIVE_SIGNATURE_CHECK_H_
#define AGENT_ARCHIVE_SIGNATURE_CHECK_H_

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "agent/agent_signature.h"
#include "agent/bundle_public_key.h"
#include "agent/signed_release.h"
#include "platform/os/unique_fd.h"

// Checks a downloaded agent archive against its minisign signature, made
// with one of the bundle's keys, and what the signature says of it
// (signed_release.h). The archive is hashed while it arrives, by a thread
// of its own beside the download: each quarter megabyte is read back from
// the file once it was written, while the system still caches it, so that
// the check adds no second pass over a large archive and does not hold up
// the download.
// Only a legacy signature, which covers the archive itself rather than its
// digest, has the whole file read once more (Ed25519 takes its message in
// one piece). All calls come from one thread.
class ArchiveSignatureCheck {
 public:
  ArchiveSignatureCheck(SigningKeys keys, std::string archivePath);
  ~ArchiveSignatureCheck();
  ArchiveSignatureCheck(const ArchiveSignatureCheck&) = delete;
  ArchiveSignatureCheck& operator=(const ArchiveSignatureCheck&) = delete;

  // The archive's body starts, or starts over, at its first byte; the file
  // must exist by now. The first call starts the hashing thread.
  void restart();
  // "length" more bytes were appended to the archive. Returns at once.
  void archiveGrewBy(std::uint64_t length);

  // True when the .minisig file at "signaturePath" signs the archive as it
  // is now with one of the bundle's keys, trusted comment included, and the
  // comment's fields let it be installed now (checkSignedRelease, with the
  // bundle's floor, at releaseClock()). Otherwise false, with a one-line
  // reason in "*error"; a piece that could not be read back fails the check
  // too. Call once, after the archive is complete; the hashing thread has
  // ended when it returns.
  bool verify(const std::string& signaturePath, std::string* error);
  // What the signature that verify() accepted vouched for.
  const SignedRelease& release() const { return release_; }
  // The open archive that verify() checked, to unpack from; open for as
  // long as this lives, close-on-exec.
  int archiveFd() const { return archive_.get(); }

 private:
  // Starts the hashing thread; call with mutex_ held.
  void startHashing();
  // The hashing thread: hashes what arrived until told to stop.
  void hashArrivals();
  // Waits until all that arrived is hashed, then ends the thread. False,
  // with the reason, when the archive could not be hashed.
  bool finishHashing(std::string* error);
  void stopHashing();
  bool verifyMessage(const AgentSignature& signature, const PublicKey& key,
                     std::string* error);

  // What the thread reads back and hashes at a time.
  static constexpr std::uint64_t kPieceSize = 256 * 1024;

  SigningKeys keys_;
  std::string archivePath_;
  SignedRelease release_;
  // The file and the digest: the hashing thread's while busy_, else the
  // caller's.
  platform::UniqueFd archive_;
  struct Digest;
  std::unique_ptr<Digest> digest_;

  std::mutex mutex_;  // guards what follows
  std::condition_variable changed_;
  std::uint64_t arrived_ = 0;
  std::uint64_t hashed_ = 0;
  bool busy_ = false;  // the thread is hashing a piece
  bool finishing_ = false;  // nothing more arrives: hash what is left
  bool stopping_ = false;
  std::string readError_;  // why the archive could not be hashed
  std::thread hasher_;     // last: it runs on the members above
};

#endif  // AGENT_ARCHIVE_SIGNATURE_CHECK_H_
