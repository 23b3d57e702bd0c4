#include "agent/bundle_public_key.h"

#include <filesystem>

#include "gtest/gtest.h"
#include "testing/signature_vectors.h"
#include "testing/test_env.h"

namespace {

TEST(BundlePublicKeyTest, AKeyFileThereMustBeAKey) {
  testing_env::FakeBundle bundle;
  const std::string path = bundle.resources() + "/InstallAgent.pub";
  std::optional<PublicKey> key = PublicKey{};
  std::string error;

  // No file: downloads go unsigned.
  EXPECT_TRUE(loadBundlePublicKey(&key, &error));
  EXPECT_FALSE(key.has_value());

  testing_env::writeFile(path, kVectorPublicKey);
  EXPECT_TRUE(loadBundlePublicKey(&key, &error)) << error;
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->keyId[0], 0xf8);

  // Anything else there fails, naming the file.
  testing_env::writeFile(path, "untrusted comment: key\nRWT=\n");
  EXPECT_FALSE(loadBundlePublicKey(&key, &error));
  EXPECT_EQ(error, "Cannot use the public key " + path +
                       ": The key line is not a minisign public key.");
  std::filesystem::remove(path);
  std::filesystem::create_symlink(bundle.root() + "/nowhere", path);
  EXPECT_FALSE(loadBundlePublicKey(&key, &error));
  EXPECT_EQ(error, "Cannot use the public key " + path +
                       ": No such file or directory.");
}

}  // namespace
