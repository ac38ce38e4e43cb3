#pragma once
// The signing key's public half as the patch program keeps it: a CryptoAPI PUBLICKEYBLOB of 148 bytes
// for an RSA key of 1024 bits with public exponent 65537, and signatures in the order CryptoAPI uses.
//
//   offset  size  field
//        0     1  blob type, 6 (public key blob)
//        1     1  blob version, 2
//        2     2  reserved, 0
//        4     4  key algorithm, 0x00002400 (RSA signing)
//        8     4  magic "RSA1"
//       12     4  modulus length in bits, 1024
//       16     4  public exponent, 65537
//       20   128  modulus, least significant byte first
//
// All integers are little-endian. A signature is the RSA value (PKCS #1 v1.5 over SHA-1), 128 bytes,
// also least significant byte first. This file is shared by both builds.

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

constexpr std::size_t kKeyBlobSize = 148;
constexpr std::size_t kModulusSize = 128;
constexpr std::size_t kSignatureSize = 128;
constexpr std::uint32_t kPublicExponent = 65537;

using KeyBlob = std::array<std::uint8_t, kKeyBlobSize>;
using SignatureBytes = std::array<std::uint8_t, kSignatureSize>;
using Modulus = std::array<std::uint8_t, kModulusSize>;  // most significant byte first

// True when `bytes` is exactly such a blob: length 148, every header field as above, and a modulus of
// a full 1024 bits (top bit set) that is odd, as every RSA modulus is. *modulus (may be null) receives
// the modulus most significant byte first.
bool ParseKeyBlob(const std::uint8_t* bytes, std::size_t length, Modulus* modulus);

// The blob for a modulus given most significant byte first.
KeyBlob MakeKeyBlob(const Modulus& modulus);

// Reverses `size` bytes from `from` into `to` (CryptoAPI's order to big-endian and back); the two
// ranges must not overlap.
void ReverseBytes(const std::uint8_t* from, std::size_t size, std::uint8_t* to);

}  // namespace platform
