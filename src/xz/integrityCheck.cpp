#include "xz/integrityCheck.h"

#include <array>
#include <cstring>

#include "xz/littleEndian.h"

namespace xz {

namespace {

// Slicing-by-8 tables: table[k][b] is the CRC of byte b followed by k zero bytes.
template <typename T, T kPolynomial>
struct CrcTables {
  std::array<std::array<T, 256>, 8> table{};
  constexpr CrcTables() {
    for (unsigned b = 0; b < 256; ++b) {
      T crc = static_cast<T>(b);
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<T>((crc >> 1) ^ kPolynomial) : static_cast<T>(crc >> 1);
      table[0][b] = crc;
    }
    for (unsigned b = 0; b < 256; ++b) {
      for (int k = 1; k < 8; ++k) {
        const T previous = table[k - 1][b];
        table[k][b] = static_cast<T>((previous >> 8) ^ table[0][previous & 0xFF]);
      }
    }
  }
};

constexpr CrcTables<std::uint32_t, 0xEDB88320u> kCrc32;
constexpr CrcTables<std::uint64_t, 0xC96C5795D7870F42ull> kCrc64;

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  const auto& t = kCrc32.table;
  crc = ~crc;
  while (size >= 8) {
    const std::uint32_t low = LoadU32(data) ^ crc;
    const std::uint32_t high = LoadU32(data + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
  return ~crc;
}

std::uint64_t Crc64(std::uint64_t crc, const std::uint8_t* data, std::size_t size) {
  const auto& t = kCrc64.table;
  crc = ~crc;
  while (size >= 8) {
    const std::uint32_t low = LoadU32(data) ^ static_cast<std::uint32_t>(crc);
    const std::uint32_t high = LoadU32(data + 4) ^ static_cast<std::uint32_t>(crc >> 32);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
  return ~crc;
}

namespace {

constexpr std::uint32_t kSha256Rounds[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotate(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

}  // namespace

void Sha256::Reset() {
  static constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::memcpy(state_, kInitial, sizeof state_);
  blockUsed_ = 0;
  length_ = 0;
}

void Sha256::Compress(const std::uint8_t* block) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) {
    w[i] = static_cast<std::uint32_t>(block[4 * i]) << 24 | static_cast<std::uint32_t>(block[4 * i + 1]) << 16 |
           static_cast<std::uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                             kSha256Rounds[i] + w[i];
    const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state_[0] += a; state_[1] += b; state_[2] += c; state_[3] += d;
  state_[4] += e; state_[5] += f; state_[6] += g; state_[7] += h;
}

void Sha256::Update(const std::uint8_t* data, std::size_t size) {
  length_ += size;
  if (blockUsed_ > 0) {
    const std::size_t take = size < 64 - blockUsed_ ? size : 64 - blockUsed_;
    std::memcpy(block_ + blockUsed_, data, take);
    blockUsed_ += take;
    data += take;
    size -= take;
    if (blockUsed_ < 64) return;
    Compress(block_);
    blockUsed_ = 0;
  }
  while (size >= 64) {
    Compress(data);
    data += 64;
    size -= 64;
  }
  std::memcpy(block_, data, size);
  blockUsed_ = size;
}

void Sha256::Finish(std::uint8_t digest[32]) {
  const std::uint64_t bits = length_ * 8;
  block_[blockUsed_++] = 0x80;
  if (blockUsed_ > 56) {
    std::memset(block_ + blockUsed_, 0, 64 - blockUsed_);
    Compress(block_);
    blockUsed_ = 0;
  }
  std::memset(block_ + blockUsed_, 0, 56 - blockUsed_);
  for (int i = 0; i < 8; ++i) block_[56 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Compress(block_);
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
  }
}

std::size_t CheckSize(unsigned type) {
  // Ids come in groups of three that share a size: 0 none, 1-3 four bytes, 4-6 eight, 7-9 sixteen,
  // 10-12 thirty-two, 13-15 sixty-four.
  if (type == 0) return 0;
  if (type > 15) return 0;
  return std::size_t{4} << ((type - 1) / 3);
}

void BlockCheck::Start(unsigned type) {
  type_ = type;
  crc32_ = 0;
  crc64_ = 0;
  if (type == kCheckSha256) sha256_.Reset();
}

bool BlockCheck::Verifies() const {
  return type_ == kCheckNone || type_ == kCheckCrc32 || type_ == kCheckCrc64 || type_ == kCheckSha256;
}

void BlockCheck::Update(const std::uint8_t* data, std::size_t size) {
  switch (type_) {
    case kCheckCrc32: crc32_ = Crc32(crc32_, data, size); break;
    case kCheckCrc64: crc64_ = Crc64(crc64_, data, size); break;
    case kCheckSha256: sha256_.Update(data, size); break;
    default: break;
  }
}

void BlockCheck::Finish(std::uint8_t* out) {
  switch (type_) {
    case kCheckCrc32:
      for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(crc32_ >> (8 * i));
      break;
    case kCheckCrc64:
      for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(crc64_ >> (8 * i));
      break;
    case kCheckSha256: sha256_.Finish(out); break;
    default: break;
  }
}

}  // namespace xz
