#ifndef AGENT_BUNDLE_PUBLIC_KEY_H_
#define AGENT_BUNDLE_PUBLIC_KEY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_signature.h"

// What a bundle trusts in a downloaded agent archive.
struct SigningKeys {
  // A signature by any of them holds: a bundle carries the old key and the
  // new one while releases move to the new.
  std::vector<PublicKey> keys;
  // No archive signed before this unix time is taken; nullopt for no floor.
  std::optional<std::int64_t> floor;

  std::vector<KeyId> keyIds() const;
};

// Reads the keys that downloaded agent archives must be signed with, from
// getInstallAgentPublicKeyLocation(), and the floor beside them, from
// getInstallAgentFloorLocation() (a unix time in decimal digits, a line end
// after it allowed). True with "*keys" left empty when there is no key file:
// the bundle then takes archives unsigned, and a floor means nothing. True
// with the keys when the files parse. False, with a one-line "*error"
// naming the file, when something is there that cannot be read or does not
// parse: a bundle that asks for signatures never goes without them.
bool loadBundleSigningKeys(std::optional<SigningKeys>* keys,
                           std::string* error);

#endif  // AGENT_BUNDLE_PUBLIC_KEY_H_
