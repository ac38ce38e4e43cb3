#pragma once
// The signing key's public half as the patch program keeps it: a CryptoAPI PUBLICKEYBLOB for an RSA
// signing key with public exponent 65537, and signatures in the order CryptoAPI uses.
//
//   offset  size    field
//        0     1    blob type, 6 (public key blob)
//        1     1    blob version, 2
//        2     2    reserved, 0
//        4     4    key algorithm, 0x00002400 (RSA signing)
//        8     4    magic "RSA1"
//       12     4    modulus length in bits: 1024, 2048, 3072 or 4096
//       16     4    public exponent, 65537
//       20  bits/8  modulus, least significant byte first
//
// All integers are little-endian. A signature is the RSA value, as long as the modulus, also least
// significant byte first. A key of 1024 bits (a blob of 148 bytes) is the original kind: it signs
// manifests only. A patch that carries a signed table of its payload needs a key of 2048 bits or more,
// and a key of that size always requires the table. This file is shared by both builds.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

constexpr std::size_t kKeyBlobHeaderSize = 20;
constexpr std::uint32_t kPublicExponent = 65537;
constexpr std::uint32_t kManifestOnlyKeyBits = 1024;
constexpr std::uint32_t kPayloadTableKeyBits = 2048;  // the least a key must have to sign a payload table
constexpr std::uint32_t kDefaultKeyBits = 3072;       // what new publisher keys get
constexpr std::uint32_t kMaxKeyBits = 4096;
constexpr std::size_t kMaxKeyBlobSize = kKeyBlobHeaderSize + kMaxKeyBits / 8;
constexpr std::size_t kManifestOnlyKeyBlobSize = kKeyBlobHeaderSize + kManifestOnlyKeyBits / 8;  // 148

using KeyBlob = std::vector<std::uint8_t>;
using Modulus = std::vector<std::uint8_t>;  // most significant byte first

// 1024, 2048, 3072 and 4096.
bool IsSupportedKeyBits(std::uint32_t bits);

// The length of the blob that starts at `header`, read from its bit-length field: 0 unless the first
// 20 bytes (of `available`) are a well-formed header for a supported key size.
std::size_t KeyBlobLength(const std::uint8_t* header, std::size_t available);

// True when `bytes` is exactly such a blob: every header field as above, a length that fits the bit
// count, and a modulus of the full size (top bit set) that is odd, as every RSA modulus is.
// *modulus (may be null) receives the modulus most significant byte first.
bool ParseKeyBlob(const std::uint8_t* bytes, std::size_t length, Modulus* modulus);

// The key's size in bits, or 0 when `blob` is not a well-formed blob.
std::uint32_t KeyBits(const KeyBlob& blob);

// The blob for a modulus given most significant byte first; empty when its size is not supported.
KeyBlob MakeKeyBlob(const Modulus& modulus);

// Reverses `size` bytes from `from` into `to` (CryptoAPI's order to big-endian and back); the two
// ranges must not overlap.
void ReverseBytes(const std::uint8_t* from, std::size_t size, std::uint8_t* to);

}  // namespace platform
