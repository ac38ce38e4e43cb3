#pragma once
// The header checksum of a PE image: the file as little-endian 16-bit words (a last odd byte as a word
// of its own), added with the carry folded back into the low 16 bits after each addition, then the
// file's length added. The checksum field itself counts as zero. Bytes can be fed in pieces of any
// length, in file order, so a writer computes it while it streams the file out.

#include <cstddef>
#include <cstdint>

namespace pe {

class Checksum {
 public:
  void Add(const void* data, std::size_t size);
  // The checksum of everything added so far; the length added must fit 32 bits (the image limit).
  std::uint32_t Finish() const;

 private:
  std::uint32_t sum_ = 0;
  std::uint64_t length_ = 0;
  int pendingLow_ = -1;  // low byte of a word whose high byte has not arrived yet
};

// The checksum of a whole image in memory whose checksum field is at `checksumOffset`.
std::uint32_t ImageChecksum(const std::uint8_t* data, std::size_t size, std::size_t checksumOffset);

}  // namespace pe
