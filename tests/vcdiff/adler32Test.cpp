#include "vcdiff/adler32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// The definition, one byte at a time.
std::uint32_t Reference(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
  std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
  for (std::size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

}  // namespace

TEST(Adler32, KnownValues) {
  EXPECT_EQ(vcdiff::Adler32(1, nullptr, 0), 1u);
  EXPECT_EQ(vcdiff::Adler32(1, reinterpret_cast<const std::uint8_t*>("Wikipedia"), 9), 0x11E60398u);
}

TEST(Adler32, EverySizeAndAlignmentMatchesTheDefinition) {
  // All-0xFF bytes make the sums as large as they get, so reductions come as late as allowed.
  for (int fill : {0xFF, -1}) {
    std::vector<std::uint8_t> bytes(70000);
    std::uint32_t state = 7;
    for (std::uint8_t& byte : bytes) {
      state = state * 1103515245u + 12345u;
      byte = fill < 0 ? static_cast<std::uint8_t>(state >> 24) : static_cast<std::uint8_t>(fill);
    }
    for (std::size_t size : {1u, 31u, 32u, 33u, 5535u, 5536u, 5552u, 5553u, 11104u, 65536u, 69990u}) {
      for (std::size_t offset = 0; offset < 4; ++offset) {
        EXPECT_EQ(vcdiff::Adler32(1, bytes.data() + offset, size), Reference(1, bytes.data() + offset, size))
            << size << " at " << offset;
      }
    }
    // Continuing from a state other than 1.
    EXPECT_EQ(vcdiff::Adler32(0xFFF0FFF0u, bytes.data(), 40000), Reference(0xFFF0FFF0u, bytes.data(), 40000));
  }
}
