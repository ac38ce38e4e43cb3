#pragma once
// Bytes of an executable held by the caller (usually a mapped file) and checked little-endian reads
// from them. Every read compares the bytes it needs with the bytes that remain before touching memory.

#include <cstddef>
#include <cstdint>

#include "xz/littleEndian.h"

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
    *value = xz::LoadU16(data + offset);
    return true;
  }
  bool ReadU32(std::size_t offset, std::uint32_t* value) const {
    if (!Has(offset, 4)) return false;
    *value = xz::LoadU32(data + offset);
    return true;
  }
};

// Little-endian stores into a buffer the caller has sized.
using xz::StoreU16;
using xz::StoreU32;

}  // namespace pe
