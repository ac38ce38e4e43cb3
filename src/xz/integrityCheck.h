#pragma once
// The integrity checks an .xz stream can carry over each block's uncompressed data: CRC-32 (the
// reflected 0xEDB88320 form, not the most-significant-bit-first CRC the patch store uses), CRC-64
// (ECMA-182, reflected) and SHA-256. Each continues a running value over more bytes.

#include <cstddef>
#include <cstdint>

namespace xz {

// Continues `crc` (start with 0) over `size` bytes; the value returned is the finished CRC.
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
std::uint64_t Crc64(std::uint64_t crc, const std::uint8_t* data, std::size_t size);

class Sha256 {
 public:
  Sha256() { Reset(); }
  void Reset();
  void Update(const std::uint8_t* data, std::size_t size);
  // Writes the 32-byte digest; the object must be Reset before it hashes again.
  void Finish(std::uint8_t digest[32]);

 private:
  void Compress(const std::uint8_t* block);

  std::uint32_t state_[8];
  std::uint8_t block_[64];
  std::size_t blockUsed_;
  std::uint64_t length_;
};

// The check type ids of the stream flags.
enum CheckType : std::uint8_t { kCheckNone = 0, kCheckCrc32 = 1, kCheckCrc64 = 4, kCheckSha256 = 10 };

// Size in bytes of the check of type `type` (0..15); ids without a defined check still have a size,
// so that a reader can step over them.
std::size_t CheckSize(unsigned type);

// One block's check as it is computed, for the stream's check type.
class BlockCheck {
 public:
  void Start(unsigned type);
  void Update(const std::uint8_t* data, std::size_t size);
  // True when the type is one this reader verifies (none, CRC-32, CRC-64, SHA-256).
  bool Verifies() const;
  // Writes the finished check's CheckSize(type) bytes as the stream stores them.
  void Finish(std::uint8_t* out);

 private:
  unsigned type_ = kCheckNone;
  std::uint32_t crc32_ = 0;
  std::uint64_t crc64_ = 0;
  Sha256 sha256_;
};

}  // namespace xz
