#pragma once
// The publisher's side of signatures: the signing key pair, signatures in the byte order the patch
// program checks (keyBlob.h), and a fingerprint by which people compare public keys.
//
// Private keys travel as PEM text (PKCS #8, unencrypted), public keys as the key blob. Key generation,
// reading and signing exist in the Linux build only, where the publisher tools run (they pack patch
// executables with the portable PE writer); the Windows build is the player's program and answers them
// with NotAvailable. Fingerprints are available on both.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/keyBlob.h"

namespace platform {

enum class SigningResult {
  Ok,
  NotAvailable,    // this build has no publisher functions
  Failed,          // the cryptographic library failed (out of memory, no random source, ...)
  UnreadableKey,   // the text is not an unencrypted PEM private key
  UnsuitableKey,   // a key, but not RSA of 1024, 2048, 3072 or 4096 bits with exponent 65537
};

// What a signature is made over: SHA-1 for manifests (as they have always been signed), SHA-256 for
// the payload table.
enum class SignedDigest { Sha1, Sha256 };

// A short English text for a result, for the tools' messages.
const char* SigningResultText(SigningResult result);

// A new RSA key pair of `bits` (a supported size, keyBlob.h) with exponent 65537: the private key as
// PEM, the public key as blob.
SigningResult GenerateSigningKey(std::uint32_t bits, std::string* privateKeyPem, KeyBlob* publicKey);

// The public key blob of a PEM private key (also: checks that the key can sign patches).
SigningResult ReadSigningKey(const std::string& privateKeyPem, KeyBlob* publicKey);

// Signs exactly `length` bytes (PKCS #1 v1.5 over `digest`) and stores the signature least
// significant byte first, as long as the key's modulus: ready to be a signature entry.
SigningResult SignBytes(const std::string& privateKeyPem, const void* bytes, std::uint32_t length, SignedDigest digest,
                        std::vector<std::uint8_t>* signature);

// SHA-256 of the blob in lower-case hex, the bytes separated by colons ("3f:a0:...:9c").
SigningResult KeyFingerprint(const KeyBlob& publicKey, std::string* fingerprint);

}  // namespace platform
