#pragma once
// Bytes of an executable held by the caller (usually a mapped file) and checked little-endian reads
// from them. Every read compares the bytes it needs with the bytes that remain before touching memory.

#include <cstddef>
#include <cstdint>

namespace pe {

struct ByteView {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;

  // True when [offset, offset + count) lies inside the view.
  bool Has(std::size_t offset, std::size_t count) const { return offset <= size && count <= size - offset; }
  // The part [offset, offset + count); the caller has checked Has(offset, count).
  ByteView Part(std::size_t offset, std::size_t count) const { return ByteView{data + offset, count}; }

  bool ReadU16(std::size_t offset, std::uint16_t* value) const {
    if (!Has(offset, 2)) return false;
    *value = static_cast<std::uint16_t>(data[offset] | data[offset + 1] << 8);
    return true;
  }
  bool ReadU32(std::size_t offset, std::uint32_t* value) const {
    if (!Has(offset, 4)) return false;
    *value = static_cast<std::uint32_t>(data[offset]) | static_cast<std::uint32_t>(data[offset + 1]) << 8 |
             static_cast<std::uint32_t>(data[offset + 2]) << 16 | static_cast<std::uint32_t>(data[offset + 3]) << 24;
    return true;
  }
};

// Little-endian stores into a buffer the caller has sized.
inline void StoreU16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void StoreU32(std::uint8_t* at, std::uint32_t value) {
  StoreU16(at, value & 0xFFFF);
  StoreU16(at + 2, value >> 16);
}

}  // namespace pe
