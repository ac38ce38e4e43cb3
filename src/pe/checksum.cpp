#include "pe/checksum.h"

namespace pe {

void Checksum::Add(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  length_ += size;
  std::uint32_t sum = sum_;
  std::size_t i = 0;
  if (pendingLow_ >= 0 && size > 0) {
    sum += static_cast<std::uint32_t>(pendingLow_) | std::uint32_t(bytes[0]) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
    pendingLow_ = -1;
    i = 1;
  }
  // Words are added into 32 bits and folded every 32768 words, well before the sum could overflow.
  while (size - i >= 2) {
    std::size_t words = (size - i) / 2;
    if (words > 32768) words = 32768;
    for (std::size_t w = 0; w < words; ++w, i += 2) sum += std::uint32_t(bytes[i]) | std::uint32_t(bytes[i + 1]) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  if (i < size) pendingLow_ = bytes[i];
  sum_ = sum;
}

std::uint32_t Checksum::Finish() const {
  std::uint32_t sum = sum_;
  if (pendingLow_ >= 0) sum += static_cast<std::uint32_t>(pendingLow_);
  sum = (sum & 0xFFFF) + (sum >> 16);
  sum = (sum & 0xFFFF) + (sum >> 16);
  return sum + static_cast<std::uint32_t>(length_);
}

std::uint32_t ImageChecksum(const std::uint8_t* data, std::size_t size, std::size_t checksumOffset) {
  Checksum checksum;
  if (checksumOffset > size || size - checksumOffset < 4) {
    checksum.Add(data, size);
    return checksum.Finish();
  }
  static const std::uint8_t kZero[4] = {};
  checksum.Add(data, checksumOffset);
  checksum.Add(kZero, 4);
  checksum.Add(data + checksumOffset + 4, size - checksumOffset - 4);
  return checksum.Finish();
}

}  // namespace pe
