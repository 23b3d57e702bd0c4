#ifndef AGENT_ACCEPTED_RELEASE_H_
#define AGENT_ACCEPTED_RELEASE_H_

#include <string>

#include "agent/signed_release.h"

// The signed release the cache accepted last, under whichever of the
// bundle's keys, so that no archive signed before it is installed again: a
// stale mirror or an attacker cannot bring back an older agent. Kept in
// ".signedrelease" beside the stamp as one line,
// "timestamp:<unix time>\tdigest:<BLAKE2b-512, 128 hex digits>\tkey:<key
// id>", and trusted only as a plain file of the user's that no one else may
// write (private_file.h); anything else there counts as no record. Call
// with the cache locked; "cacheDir" ends with the separator.

// True when "release" may follow the one accepted last: it was signed later,
// or at the same time as the very same archive; and it has a timestamp
// once one was accepted with one. Otherwise false, with a one-line reason
// naming both times in "*error".
bool followsAcceptedRelease(const std::string& cacheDir,
                            const SignedRelease& release, std::string* error);

// Records "release" as the one accepted last: written to a fresh file that
// is renamed over the record. A release without a timestamp leaves the
// record as it is (there is none: followsAcceptedRelease would have refused
// it). False, with the system's reason in "*error", when it could not be
// written.
bool recordAcceptedRelease(const std::string& cacheDir,
                           const SignedRelease& release, std::string* error);

#endif  // AGENT_ACCEPTED_RELEASE_H_
