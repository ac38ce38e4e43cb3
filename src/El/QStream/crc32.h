#pragma once
// The checksum of installed files and checksum lists: CRC-32 with the generator polynomial 0x04C11DB7
// taken most significant bit first (not reflected), register starting at 0xFFFFFFFF, final value
// inverted. "123456789" checks to 0xFC891918.
//
// One implementation is picked at first use: carry-less multiplication folding on x86 processors that
// have it (512 bits wide where available, else 128), otherwise table slicing over 16 bytes at a time. Both give the same register as the plain
// byte-at-a-time table loop, which is kept as the reference.

#include <cstddef>  // std::size_t
#include <cstdint>  // std::uint32_t

// A running checksum: feed bytes in any number of pieces, read the value at any point.
class Crc32 {
 public:
  void Update(const void* data, std::size_t size);
  // The checksum of everything fed so far (the register inverted); feeding may go on after it.
  std::uint32_t Value() const { return ~state_; }
  void Reset() { state_ = 0xFFFFFFFFu; }

 private:
  std::uint32_t state_ = 0xFFFFFFFFu;
};

// The checksum of one block of memory.
std::uint32_t Crc32Of(const void* data, std::size_t size);

// The checksum of a whole file, read through the platform's file system in large blocks, and its size
// when `size` is given. False (and *crc untouched) when the file cannot be opened, its size cannot be
// had, or a read fails or comes back short.
bool Crc32OfFile(const char* name, std::uint32_t* crc, std::uint64_t* size = nullptr);

// The register-level implementations, exposed so that tests and benchmarks can compare them. Each
// takes the register before the bytes (0xFFFFFFFF at the start) and returns the register after them.
namespace crc32detail {

// entry i: i shifted into the top byte, then shifted left eight times, each time XORed with the
// polynomial when the top bit falls out.
const std::uint32_t* ByteTable();  // 256 entries

std::uint32_t UpdateBytewise(std::uint32_t reg, const std::uint8_t* data, std::size_t size);
std::uint32_t UpdateSliced(std::uint32_t reg, const std::uint8_t* data, std::size_t size);
// True when this processor can run UpdateFolded.
bool FoldingAvailable();
// Only when FoldingAvailable(); falls back to UpdateSliced for short inputs.
std::uint32_t UpdateFolded(std::uint32_t reg, const std::uint8_t* data, std::size_t size);
// Folding 64 bytes per instruction (64-bit builds on processors with 512-bit carry-less
// multiplication); only when WideFoldingAvailable(); falls back to UpdateFolded for short inputs.
bool WideFoldingAvailable();
std::uint32_t UpdateFoldedWide(std::uint32_t reg, const std::uint8_t* data, std::size_t size);
// Whichever of the two above this processor runs.
std::uint32_t Update(std::uint32_t reg, const std::uint8_t* data, std::size_t size);

}  // namespace crc32detail
