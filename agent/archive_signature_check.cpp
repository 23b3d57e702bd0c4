#include "agent/archive_signature_check.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <system_error>
#include <vector>

#include "agent/small_file.h"
#include "platform/os/posix_error.h"

namespace {

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

bool verifyEd25519(const PublicKey& key, const std::uint8_t* signature,
                   const std::uint8_t* message, std::size_t size) {
  const std::unique_ptr<EVP_PKEY, PkeyFree> pkey(EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, key.key.data(), key.key.size()));
  const MdContext context(EVP_MD_CTX_new());
  return pkey && context &&
         EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr,
                              pkey.get()) == 1 &&
         EVP_DigestVerify(context.get(), signature, 64, message, size) == 1;
}

// A file mapped into memory, read-only, for as long as this lives.
class Mapping {
 public:
  Mapping(int fd, std::size_t size) : size_(size) {
    if (size > 0) {
      address_ = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    }
  }
  ~Mapping() {
    if (address_ != MAP_FAILED) munmap(address_, size_);
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;

  // The bytes, or nullptr when the file could not be mapped.
  const std::uint8_t* data() const {
    static const std::uint8_t empty = 0;
    if (size_ == 0) return &empty;
    return address_ == MAP_FAILED ? nullptr
                                  : static_cast<std::uint8_t*>(address_);
  }

 private:
  void* address_ = MAP_FAILED;
  std::size_t size_;
};

// Why reading the archive failed, from errno.
std::string unreadable() {
  return platform::posixError("The archive could not be read", errno);
}

}  // namespace

struct ArchiveSignatureCheck::Digest {
  MdContext context{EVP_MD_CTX_new()};
};

ArchiveSignatureCheck::ArchiveSignatureCheck(SigningKeys keys,
                                             std::string archivePath)
    : keys_(std::move(keys)),
      archivePath_(std::move(archivePath)),
      digest_(std::make_unique<Digest>()) {}

ArchiveSignatureCheck::~ArchiveSignatureCheck() { stopHashing(); }

void ArchiveSignatureCheck::restart() {
  std::unique_lock<std::mutex> lock(mutex_);
  // The hashing thread must not be in the middle of a piece of the old body.
  changed_.wait(lock, [this] { return !busy_; });
  arrived_ = 0;
  hashed_ = 0;
  finishing_ = false;
  readError_.clear();
  // Opened anew: a body that starts over may have a new file.
  archive_.reset(open(archivePath_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!archive_.valid()) {
    readError_ = unreadable();
  } else if (!digest_->context ||
             EVP_DigestInit_ex(digest_->context.get(), EVP_blake2b512(),
                               nullptr) != 1) {
    readError_ = "The archive could not be hashed.";
  }
  if (!hasher_.joinable()) startHashing();
}

void ArchiveSignatureCheck::startHashing() {
  stopping_ = false;
  // Signals stay with the loop's thread, which the program's handling of
  // them expects: the new thread starts with all of them blocked.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  try {
    hasher_ = std::thread([this] { hashArrivals(); });
  } catch (const std::system_error& error) {
    readError_ = std::string("The archive could not be hashed: ") +
                 error.what() + ".";
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void ArchiveSignatureCheck::archiveGrewBy(std::uint64_t length) {
  const std::lock_guard<std::mutex> lock(mutex_);
  arrived_ += length;
  // Woken for every piece the network hands over, the thread would cost
  // more in switches than in hashing on a slow link.
  if (arrived_ - hashed_ >= kPieceSize) changed_.notify_all();
}

void ArchiveSignatureCheck::hashArrivals() {
  std::vector<char> buffer(kPieceSize);
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] {
      return stopping_ ||
             (readError_.empty() &&
              (arrived_ - hashed_ >= kPieceSize ||
               (finishing_ && hashed_ < arrived_)));
    });
    if (stopping_) return;
    // The file and the digest are this thread's until busy_ is cleared.
    busy_ = true;
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(arrived_ - hashed_, buffer.size()));
    const off_t offset = static_cast<off_t>(hashed_);
    lock.unlock();
    ssize_t got;
    do {
      got = pread(archive_.get(), buffer.data(), wanted, offset);
    } while (got < 0 && errno == EINTR);
    std::string error;
    if (got > 0) {
      EVP_DigestUpdate(digest_->context.get(), buffer.data(),
                       static_cast<std::size_t>(got));
    } else {
      error = got < 0 ? unreadable()
                      : "The archive is shorter than what arrived.";
    }
    lock.lock();
    busy_ = false;
    if (got > 0) hashed_ += static_cast<std::uint64_t>(got);
    if (readError_.empty()) readError_ = error;
    changed_.notify_all();
  }
}

bool ArchiveSignatureCheck::finishHashing(std::string* error) {
  if (!hasher_.joinable()) {
    const std::lock_guard<std::mutex> lock(mutex_);
    *error = readError_.empty() ? "The archive arrived without a start."
                                : readError_;
    return false;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // The last piece may be short.
    finishing_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] {
      return !busy_ && (hashed_ == arrived_ || !readError_.empty());
    });
    *error = readError_;
  }
  // No thread is left running when the archive is unpacked.
  stopHashing();
  return error->empty();
}

void ArchiveSignatureCheck::stopHashing() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (hasher_.joinable()) hasher_.join();
}

bool ArchiveSignatureCheck::verify(const std::string& signaturePath,
                                   std::string* error) {
  std::string hashError;
  const bool hashed = finishHashing(&hashError);
  std::string text;
  std::string reason;
  AgentSignature signature;
  if (!readSmallFile(signaturePath, kMaxSignatureFileSize, &text, &reason)) {
    *error = "The signature could not be read: " + reason;
    return false;
  }
  if (!parseAgentSignature(text, &signature, error)) return false;
  const auto key = std::find_if(
      keys_.keys.begin(), keys_.keys.end(),
      [&](const PublicKey& candidate) {
        return candidate.keyId == signature.keyId;
      });
  if (key == keys_.keys.end()) {
    *error = "The signature was made with another key.";
    return false;
  }
  // The trusted comment is signed together with the signature itself.
  std::vector<std::uint8_t> signedComment(signature.signature.begin(),
                                          signature.signature.end());
  signedComment.insert(signedComment.end(), signature.trustedComment.begin(),
                       signature.trustedComment.end());
  if (!verifyEd25519(*key, signature.globalSignature.data(),
                     signedComment.data(), signedComment.size())) {
    *error = "The trusted comment does not match the signature.";
    return false;
  }
  if (!hashed) {
    *error = hashError;
    return false;
  }
  if (!verifyMessage(signature, *key, error)) return false;
  // Only now are the comment's fields the vendor's.
  release_.keyId = key->keyId;
  return parseSignedMetadata(signature.trustedComment, &release_.metadata,
                             error) &&
         checkSignedRelease(release_.metadata, keys_.floor, releaseClock(),
                            error);
}

bool ArchiveSignatureCheck::verifyMessage(const AgentSignature& signature,
                                          const PublicKey& key,
                                          std::string* error) {
  // What is hashed must be what will be unpacked.
  struct stat info;
  if (!archive_.valid() || fstat(archive_.get(), &info) != 0 ||
      static_cast<std::uint64_t>(info.st_size) != hashed_) {
    *error = "The archive is not the one that arrived.";
    return false;
  }
  // The digest names the archive in the cache's record, whichever form
  // signed it.
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(digest_->context.get(), release_.digest.data(),
                         &size) != 1 ||
      size != release_.digest.size()) {
    *error = "The archive could not be hashed.";
    return false;
  }
  bool matches = false;
  if (signature.prehashed) {
    matches = verifyEd25519(key, signature.signature.data(),
                            release_.digest.data(), release_.digest.size());
  } else {
    const Mapping file(archive_.get(), static_cast<std::size_t>(hashed_));
    if (file.data() == nullptr) {
      *error = unreadable();
      return false;
    }
    matches = verifyEd25519(key, signature.signature.data(), file.data(),
                            static_cast<std::size_t>(hashed_));
  }
  if (!matches) *error = "The archive does not match its signature.";
  return matches;
}
