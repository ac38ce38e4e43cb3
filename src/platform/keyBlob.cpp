#include "platform/keyBlob.h"

#include <cstring>

#include "xz/littleEndian.h"

namespace platform {
namespace {

constexpr std::uint8_t kBlobType = 6;
constexpr std::uint8_t kBlobVersion = 2;
constexpr std::uint32_t kRsaSignAlgorithm = 0x2400;
constexpr char kMagic[4] = {'R', 'S', 'A', '1'};

}  // namespace

bool IsSupportedKeyBits(std::uint32_t bits) {
  return bits == 1024 || bits == 2048 || bits == 3072 || bits == 4096;
}

std::size_t KeyBlobLength(const std::uint8_t* header, std::size_t available) {
  if (!header || available < kKeyBlobHeaderSize) return 0;
  if (header[0] != kBlobType || header[1] != kBlobVersion || header[2] != 0 || header[3] != 0) return 0;
  if (xz::LoadU32(header + 4) != kRsaSignAlgorithm || std::memcmp(header + 8, kMagic, 4) != 0) return 0;
  const std::uint32_t bits = xz::LoadU32(header + 12);
  if (!IsSupportedKeyBits(bits) || xz::LoadU32(header + 16) != kPublicExponent) return 0;
  return kKeyBlobHeaderSize + bits / 8;
}

bool ParseKeyBlob(const std::uint8_t* bytes, std::size_t length, Modulus* modulus) {
  const std::size_t expected = KeyBlobLength(bytes, length);
  if (expected == 0 || length != expected) return false;
  const std::size_t modulusSize = length - kKeyBlobHeaderSize;
  const std::uint8_t* littleEndian = bytes + kKeyBlobHeaderSize;
  if ((littleEndian[modulusSize - 1] & 0x80) == 0 || (littleEndian[0] & 1) == 0) return false;
  if (modulus) {
    modulus->resize(modulusSize);
    ReverseBytes(littleEndian, modulusSize, modulus->data());
  }
  return true;
}

std::uint32_t KeyBits(const KeyBlob& blob) {
  if (!ParseKeyBlob(blob.data(), blob.size(), nullptr)) return 0;
  return static_cast<std::uint32_t>((blob.size() - kKeyBlobHeaderSize) * 8);
}

KeyBlob MakeKeyBlob(const Modulus& modulus) {
  const std::uint32_t bits = static_cast<std::uint32_t>(modulus.size() * 8);
  if (!IsSupportedKeyBits(bits)) return KeyBlob();
  KeyBlob blob(kKeyBlobHeaderSize + modulus.size(), 0);
  blob[0] = kBlobType;
  blob[1] = kBlobVersion;
  xz::StoreU32(blob.data() + 4, kRsaSignAlgorithm);
  std::memcpy(blob.data() + 8, kMagic, 4);
  xz::StoreU32(blob.data() + 12, bits);
  xz::StoreU32(blob.data() + 16, kPublicExponent);
  ReverseBytes(modulus.data(), modulus.size(), blob.data() + kKeyBlobHeaderSize);
  return blob;
}

void ReverseBytes(const std::uint8_t* from, std::size_t size, std::uint8_t* to) {
  for (std::size_t i = 0; i < size; ++i) to[i] = from[size - 1 - i];
}

}  // namespace platform
