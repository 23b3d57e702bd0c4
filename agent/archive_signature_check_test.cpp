#include "agent/archive_signature_check.h"

#include <fstream>
#include <string>

#include "gtest/gtest.h"
#include "testing/signature_vectors.h"
#include "testing/test_env.h"

namespace {

// Writes to the end of the file, as a download does; writeFile would put a
// new file in its place.
void append(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::app) << data;
}

class ArchiveSignatureCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(parsePublicKey(kVectorPublicKey, &key_, &error)) << error;
  }

  // Lets "content" arrive as the archive in two pieces, the way a download
  // writes it, then checks it against "signature".
  bool arrives(const std::string& content, const std::string& signature,
               const PublicKey& key, std::string* error) {
    ArchiveSignatureCheck check(SigningKeys{{key}, std::nullopt}, archive_);
    testing_env::writeFile(archive_, "");
    check.restart();
    const std::size_t half = content.size() / 2;
    append(archive_, content.substr(0, half));
    check.archiveGrewBy(half);
    append(archive_, content.substr(half));
    check.archiveGrewBy(content.size() - half);
    testing_env::writeFile(signature_, signature);
    return check.verify(signature_, error);
  }

  testing_env::ScratchDirectory scratch_;
  const std::string archive_ = scratch_ / "InstallAgent.zip";
  const std::string signature_ = scratch_ / "InstallAgent.zip.minisig";
  PublicKey key_;
};

TEST_F(ArchiveSignatureCheckTest, AcceptsBothFormsOfMinisignSignature) {
  for (const char* signature :
       {kVectorPrehashedSignature, kVectorLegacySignature}) {
    std::string error;
    EXPECT_TRUE(arrives(kVectorArchive, signature, key_, &error)) << error;
  }
}

TEST_F(ArchiveSignatureCheckTest, RefusesWhatTheKeyDidNotSign) {
  std::string changed = kVectorArchive;
  changed[3] ^= 1;
  std::string comment = kVectorPrehashedSignature;
  comment.replace(comment.find("release 1"), 9, "release 2");
  PublicKey otherKey = key_;
  otherKey.keyId[0] ^= 1;
  struct Case {
    std::string archive;
    std::string signature;
    PublicKey key;
    std::string reason;
  };
  for (const Case& c : {
           Case{changed, kVectorPrehashedSignature, key_, "does not match"},
           Case{changed, kVectorLegacySignature, key_, "does not match"},
           Case{kVectorArchive, comment, key_, "trusted comment"},
           Case{kVectorArchive, kVectorPrehashedSignature, otherKey,
                "another key"},
           Case{kVectorArchive, "", key_, "Not a minisign signature"},
       }) {
    std::string error;
    EXPECT_FALSE(arrives(c.archive, c.signature, c.key, &error)) << c.reason;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST_F(ArchiveSignatureCheckTest, HashesOnlyTheBodyThatStartedLast) {
  // A body that starts over replaces what arrived before it; an archive
  // that differs from what arrived, or that never started, is refused.
  testing_env::writeFile(signature_, kVectorPrehashedSignature);
  ArchiveSignatureCheck check(SigningKeys{{key_}, std::nullopt}, archive_);
  testing_env::writeFile(archive_, "garbage");
  check.restart();
  check.archiveGrewBy(7);
  testing_env::writeFile(archive_, kVectorArchive);
  check.restart();
  check.archiveGrewBy(std::string(kVectorArchive).size());
  std::string error;
  EXPECT_TRUE(check.verify(signature_, &error)) << error;

  ArchiveSignatureCheck grown(SigningKeys{{key_}, std::nullopt}, archive_);
  grown.restart();
  grown.archiveGrewBy(std::string(kVectorArchive).size());
  append(archive_, "more");
  EXPECT_FALSE(grown.verify(signature_, &error));
  EXPECT_EQ(error, "The archive is not the one that arrived.");

  ArchiveSignatureCheck unstarted(SigningKeys{{key_}, std::nullopt},
                                  scratch_ / "missing.zip");
  unstarted.restart();
  unstarted.archiveGrewBy(10);
  EXPECT_FALSE(unstarted.verify(signature_, &error));
  EXPECT_NE(error.find("could not be read"), std::string::npos) << error;
}

}  // namespace
