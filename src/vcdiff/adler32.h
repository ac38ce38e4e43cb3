#pragma once
// Adler-32 of a target window, as the delta's per-window checksum carries it.

#include <cstddef>
#include <cstdint>

namespace vcdiff {

// Continues `adler` (start with 1) over `size` bytes.
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size);

}  // namespace vcdiff
