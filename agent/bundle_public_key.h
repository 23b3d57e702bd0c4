#ifndef AGENT_BUNDLE_PUBLIC_KEY_H_
#define AGENT_BUNDLE_PUBLIC_KEY_H_

#include <optional>
#include <string>

#include "agent/agent_signature.h"

// Reads the key that downloaded agent archives must be signed with, from
// getInstallAgentPublicKeyLocation(). True with "*key" left empty when
// nothing is there: the bundle then takes archives unsigned. True with the
// key when the file parses. False, with a one-line "*error" naming the file,
// when something is there that cannot be read or is no minisign public key:
// a bundle that asks for signatures never goes without them.
bool loadBundlePublicKey(std::optional<PublicKey>* key, std::string* error);

#endif  // AGENT_BUNDLE_PUBLIC_KEY_H_
