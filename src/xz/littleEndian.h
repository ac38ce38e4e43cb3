#pragma once
// Little-endian loads and stores of unsigned integers, the one home of this byte order for every
// folder: it sits in the lowest one, so the .xz container, the PE reader and writer, the key blob of
// the platform, the streams and banks and the trusted key slot all use it. The caller has checked
// that the bytes are there (pe/byteView.h wraps the loads in bounds checks).

#include <cstdint>

namespace xz {

inline std::uint16_t LoadU16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}
inline std::uint32_t LoadU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

inline void StoreU16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void StoreU32(std::uint8_t* at, std::uint32_t value) {
  StoreU16(at, value & 0xFFFF);
  StoreU16(at + 2, value >> 16);
}

}  // namespace xz
