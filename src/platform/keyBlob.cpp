#include "platform/keyBlob.h"

#include <cstring>

namespace platform {
namespace {

constexpr std::uint8_t kBlobType = 6;
constexpr std::uint8_t kBlobVersion = 2;
constexpr std::uint32_t kRsaSignAlgorithm = 0x2400;
constexpr char kMagic[4] = {'R', 'S', 'A', '1'};
constexpr std::uint32_t kModulusBits = 1024;
constexpr std::size_t kHeaderSize = 20;
static_assert(kHeaderSize + kModulusSize == kKeyBlobSize, "the blob is its header and the modulus");

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void WriteLe32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

bool ParseKeyBlob(const std::uint8_t* bytes, std::size_t length, Modulus* modulus) {
  if (!bytes || length != kKeyBlobSize) return false;
  if (bytes[0] != kBlobType || bytes[1] != kBlobVersion || bytes[2] != 0 || bytes[3] != 0) return false;
  if (ReadLe32(bytes + 4) != kRsaSignAlgorithm || std::memcmp(bytes + 8, kMagic, 4) != 0) return false;
  if (ReadLe32(bytes + 12) != kModulusBits || ReadLe32(bytes + 16) != kPublicExponent) return false;
  const std::uint8_t* littleEndian = bytes + kHeaderSize;
  if ((littleEndian[kModulusSize - 1] & 0x80) == 0 || (littleEndian[0] & 1) == 0) return false;
  if (modulus) ReverseBytes(littleEndian, kModulusSize, modulus->data());
  return true;
}

KeyBlob MakeKeyBlob(const Modulus& modulus) {
  KeyBlob blob{};
  blob[0] = kBlobType;
  blob[1] = kBlobVersion;
  WriteLe32(blob.data() + 4, kRsaSignAlgorithm);
  std::memcpy(blob.data() + 8, kMagic, 4);
  WriteLe32(blob.data() + 12, kModulusBits);
  WriteLe32(blob.data() + 16, kPublicExponent);
  ReverseBytes(modulus.data(), kModulusSize, blob.data() + kHeaderSize);
  return blob;
}

void ReverseBytes(const std::uint8_t* from, std::size_t size, std::uint8_t* to) {
  for (std::size_t i = 0; i < size; ++i) to[i] = from[size - 1 - i];
}

}  // namespace platform
