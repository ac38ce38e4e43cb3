#pragma once
// Checking detached signatures against the public key built into the program: the manifest's
// (PKCS #1 v1.5 over SHA-1, as manifests have always been signed) and the payload table's (PKCS #1 v1.5
// over SHA-256).
//
// Windows uses CryptoAPI (the RSA provider for SHA-1, the AES provider for SHA-256); Linux uses
// OpenSSL's libcrypto with the same key blob and signature bytes (keyBlob.h), so one patch executable
// verifies alike on both. Result codes and the error value beside them are the same for the same fault.

#include <cstdint>

namespace platform {

// What a check is handed: the key blob (keyBlob.h) and the signature entry's bytes as stored (as long
// as the key's modulus). The caller owns both buffers.
struct ManifestSignature {
  const std::uint8_t* keyBlob = nullptr;
  std::uint32_t keyBlobLength = 0;
  const std::uint8_t* signature = nullptr;
  std::uint32_t signatureLength = 0;
};

// Results of VerifyManifest.
enum : int {
  kManifestVerified = 0,
  kNoCryptoProvider = 3,   // no provider context could be acquired
  kKeyNotImported = 4,     // the key blob was refused
  kHashNotCreated = 5,     // the hash object could not be created
  kHashFailed = 6,         // hashing the manifest bytes failed
  kSignatureMismatch = 7,  // the signature does not verify (wrong bytes, wrong key, wrong length)
};

// Checks that `signature.signature` is the publisher's PKCS #1 v1.5 SHA-1 signature of exactly the
// `length` bytes at `bytes`, made with the private half of `signature.keyBlob`. Returns one of the
// codes above; every object it acquired is released before it returns.
int VerifyManifest(const void* bytes, std::uint32_t length, const ManifestSignature& signature);

// The same check for a PKCS #1 v1.5 SHA-256 signature: the payload table's. The same codes.
int VerifyPayloadTableSignature(const void* bytes, std::uint32_t length, const ManifestSignature& signature);

// The system's error value right after the last check of the calling thread, for the message
// "Patch file is corrupted, error %d/%d.": the error of the step that failed (0 after success).
// Windows: GetLastError() of the failing CryptoAPI call (VerifyManifest also leaves it as the thread's
// last error). Linux: CryptoAPI's number for the same condition where there is one, so that both builds
// report alike (0x80090006 for a signature that does not verify, 0x80090005 for a refused key blob);
// for a failure inside OpenSSL without such a counterpart, OpenSSL's own code (ERR_peek_last_error).
std::uint32_t LastSignatureError();

}  // namespace platform
