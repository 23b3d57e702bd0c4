#ifndef TESTING_SIGNATURE_VECTORS_H_
#define TESTING_SIGNATURE_VECTORS_H_

// A minisign key pair's public key and two signatures of one small archive
// by its secret key, both with the trusted comment "release 1", as Debian's
// minisign 0.11 wrote them (`minisign -G -W`, `minisign -S -t 'release 1'`,
// and the same with `-l`).

extern const char kVectorPublicKey[];
extern const char kVectorArchive[];         // the signed archive's bytes
extern const char kVectorPrehashedSignature[];
extern const char kVectorLegacySignature[];

#endif  // TESTING_SIGNATURE_VECTORS_H_
