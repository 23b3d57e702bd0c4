#include "agent/agent_signature.h"

#include <openssl/evp.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/signature_vectors.h"

namespace {

std::string base64(const std::string& bytes) {
  std::vector<unsigned char> text(4 * ((bytes.size() + 2) / 3) + 1);
  const int size = EVP_EncodeBlock(
      text.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
      static_cast<int>(bytes.size()));
  return std::string(text.begin(), text.begin() + size);
}

std::string keyFile(const std::string& keyLine) {
  return "untrusted comment: minisign public key\n" + keyLine + "\n";
}

std::string signatureFile(const std::string& signatureLine,
                          const std::string& globalLine) {
  return "untrusted comment: signature\n" + signatureLine +
         "\ntrusted comment: release 1\n" + globalLine + "\n";
}

TEST(AgentSignatureTest, ReadsWhatMinisignWrites) {
  PublicKey key;
  std::string error;
  ASSERT_TRUE(parsePublicKey(kVectorPublicKey, &key, &error)) << error;
  EXPECT_EQ(key.keyId, (KeyId{0xf8, 0xd9, 0xa7, 0x1e, 0x25, 0xd7, 0xad, 0x87}));

  AgentSignature prehashed;
  AgentSignature legacy;
  ASSERT_TRUE(
      parseAgentSignature(kVectorPrehashedSignature, &prehashed, &error))
      << error;
  ASSERT_TRUE(parseAgentSignature(kVectorLegacySignature, &legacy, &error))
      << error;
  EXPECT_TRUE(prehashed.prehashed);
  EXPECT_FALSE(legacy.prehashed);
  EXPECT_EQ(prehashed.keyId, key.keyId);
  EXPECT_EQ(prehashed.trustedComment, "release 1");

  // Line ends from another system, and no line feed at the very end.
  std::string crlf;
  for (const char c : std::string(kVectorPrehashedSignature)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  crlf.pop_back();
  AgentSignature again;
  ASSERT_TRUE(parseAgentSignature(crlf, &again, &error)) << error;
  EXPECT_EQ(again.signature, prehashed.signature);
  EXPECT_EQ(again.trustedComment, "release 1");

  // An empty line at the end, as an editor or an upload tool adds one:
  // minisign takes both files so, and so do the parsers.
  for (const std::string end : {"\n", "\r\n", "\n\n"}) {
    EXPECT_TRUE(parsePublicKey(kVectorPublicKey + end, &key, &error)) << error;
    EXPECT_TRUE(parseAgentSignature(crlf + "\n" + end, &again, &error))
        << error;
  }
}

TEST(AgentSignatureTest, RefusesHostileKeys) {
  const std::string id(8, 'i');
  const std::string ed25519(32, 'k');
  const std::string good = base64("Ed" + id + ed25519);
  const std::vector<std::string> hostile = {
      "",
      good + "\n",
      keyFile(good) + "x\n",                           // a third line
      keyFile(good) + " \n",                           // not empty
      "comment: key\n" + good + "\n",                  // not the prefix
      keyFile(base64("ED" + id + ed25519)),            // a signature's bytes
      keyFile(base64("Eb" + id + ed25519)),            // another algorithm
      keyFile(base64("Ed" + id + ed25519 + "x")),      // too long
      keyFile(base64("Ed" + id + ed25519.substr(1))),  // too short
      keyFile(good.substr(0, good.size() - 1)),        // not whole groups
      keyFile("!" + good.substr(1)),                   // not base64
      keyFile(" " + good),
      keyFile(std::string(2 * kMaxPublicKeyFileSize, 'A')),  // overlong
  };
  PublicKey key;
  std::string error;
  ASSERT_TRUE(parsePublicKey(keyFile(good), &key, &error)) << error;
  for (const std::string& text : hostile) {
    error.clear();
    EXPECT_FALSE(parsePublicKey(text, &key, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

TEST(AgentSignatureTest, RefusesHostileSignatures) {
  const std::string id(8, 'i');
  const std::string signature(64, 's');
  const std::string line = base64("ED" + id + signature);
  const std::string global = base64(std::string(64, 'g'));
  // Padding bits that are not zero: the same bytes written another way.
  std::string loosePadding = global;
  loosePadding[loosePadding.size() - 3] = 'x';  // was 'w'
  const std::vector<std::string> hostile = {
      "",
      signatureFile(line, global).substr(0, 120),  // cut short
      signatureFile(line, global) + "more\n",
      signatureFile(line, global) + "\n\nmore",
      signatureFile(base64("Ed" + id + signature + "x"), global),
      signatureFile(base64("EB" + id + signature), global),
      signatureFile(base64("ed" + id + signature), global),
      signatureFile(base64("ED" + id), global),
      signatureFile(line, base64(std::string(63, 'g'))),
      signatureFile(line, loosePadding),
      signatureFile(line, global + "="),
      signatureFile(line + "\t", global),
      signatureFile(line, "=" + global.substr(1)),
      "untrusted comment: x\n" + line + "\nuntrusted comment: x\n" + global,
      signatureFile(line, global) +
          std::string(kMaxSignatureFileSize, ' '),  // overlong
  };
  AgentSignature parsed;
  std::string error;
  ASSERT_TRUE(parseAgentSignature(signatureFile(line, global), &parsed, &error))
      << error;
  for (const std::string& text : hostile) {
    error.clear();
    EXPECT_FALSE(parseAgentSignature(text, &parsed, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
