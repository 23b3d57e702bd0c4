#include "agent/bundle_public_key.h"

#include <filesystem>

#include "gtest/gtest.h"
#include "testing/signature_vectors.h"
#include "testing/test_env.h"

namespace {

TEST(BundlePublicKeyTest, AKeyFileThereMustBeAKey) {
  testing_env::FakeBundle bundle;
  const std::string path = bundle.resources() + "/InstallAgent.pub";
  const std::string floor = bundle.resources() + "/InstallAgent.floor";
  std::optional<SigningKeys> keys = SigningKeys{};
  std::string error;

  // No file: downloads go unsigned.
  EXPECT_TRUE(loadBundleSigningKeys(&keys, &error));
  EXPECT_FALSE(keys.has_value());

  testing_env::writeFile(path, kVectorPublicKey);
  EXPECT_TRUE(loadBundleSigningKeys(&keys, &error)) << error;
  ASSERT_TRUE(keys.has_value());
  ASSERT_EQ(keys->keys.size(), 1u);
  EXPECT_EQ(keys->keys[0].keyId[0], 0xf8);
  EXPECT_FALSE(keys->floor.has_value());

  testing_env::writeFile(floor, "1765238400\n");
  EXPECT_TRUE(loadBundleSigningKeys(&keys, &error)) << error;
  ASSERT_TRUE(keys.has_value());
  EXPECT_EQ(keys->floor, 1765238400);
  testing_env::writeFile(floor, "yesterday\n");
  EXPECT_FALSE(loadBundleSigningKeys(&keys, &error));
  EXPECT_EQ(error, "Cannot use the floor " + floor + ": It is no unix time.");
  std::filesystem::remove(floor);

  // Anything else there fails, naming the file.
  testing_env::writeFile(path, "untrusted comment: key\nRWT=\n");
  EXPECT_FALSE(loadBundleSigningKeys(&keys, &error));
  EXPECT_EQ(error, "Cannot use the public key " + path +
                       ": The key line is not a minisign public key.");
  testing_env::writeFile(path,
                         std::string(kVectorPublicKey) + kVectorPublicKey);
  EXPECT_FALSE(loadBundleSigningKeys(&keys, &error));
  EXPECT_EQ(error, "Cannot use the public key " + path +
                       ": Two keys have the same key id.");
  std::filesystem::remove(path);
  std::filesystem::create_symlink(bundle.root() + "/nowhere", path);
  EXPECT_FALSE(loadBundleSigningKeys(&keys, &error));
  EXPECT_EQ(error, "Cannot use the public key " + path +
                       ": No such file or directory.");
}

}  // namespace
