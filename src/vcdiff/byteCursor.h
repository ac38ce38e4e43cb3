#pragma once
// A bounded reader over bytes in memory: every read compares what it needs with what remains.

#include <cstddef>
#include <cstdint>

namespace vcdiff {

class ByteCursor {
 public:
  ByteCursor() = default;
  ByteCursor(const std::uint8_t* data, std::size_t size) : pos_(data), end_(data + size) {}

  std::size_t Remaining() const { return static_cast<std::size_t>(end_ - pos_); }
  bool AtEnd() const { return pos_ == end_; }
  const std::uint8_t* Position() const { return pos_; }

  bool ReadByte(std::uint8_t* value) {
    if (pos_ == end_) return false;
    *value = *pos_++;
    return true;
  }

  // A variable-length integer: seven bits a byte, most significant first, high bit set on every
  // byte but the last. Fails when the bytes run out or the value does not fit 64 bits.
  bool ReadVarint(std::uint64_t* value) {
    std::uint64_t result = 0;
    for (;;) {
      if (pos_ == end_) return false;
      std::uint8_t byte = *pos_++;
      if (result >> 57) return false;
      result = (result << 7) | (byte & 0x7F);
      if (!(byte & 0x80)) break;
    }
    *value = result;
    return true;
  }

  // Hands out `size` bytes in place.
  bool ReadBytes(std::size_t size, const std::uint8_t** data) {
    if (size > Remaining()) return false;
    *data = pos_;
    pos_ += size;
    return true;
  }

 private:
  const std::uint8_t* pos_ = nullptr;
  const std::uint8_t* end_ = nullptr;
};

}  // namespace vcdiff
