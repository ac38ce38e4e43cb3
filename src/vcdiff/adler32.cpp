#include "vcdiff/adler32.h"

namespace vcdiff {

namespace {
constexpr std::uint32_t kModulus = 65521;
// The most bytes that can be summed before the 32-bit sums must be reduced.
constexpr std::size_t kMaxRun = 5552;
}  // namespace

std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
  std::uint32_t a = adler & 0xFFFF;
  std::uint32_t b = adler >> 16;
  while (size > 0) {
    std::size_t run = size < kMaxRun ? size : kMaxRun;
    size -= run;
    while (run >= 8) {
      a += data[0]; b += a;
      a += data[1]; b += a;
      a += data[2]; b += a;
      a += data[3]; b += a;
      a += data[4]; b += a;
      a += data[5]; b += a;
      a += data[6]; b += a;
      a += data[7]; b += a;
      data += 8;
      run -= 8;
    }
    while (run-- > 0) {
      a += *data++;
      b += a;
    }
    a %= kModulus;
    b %= kModulus;
  }
  return (b << 16) | a;
}

}  // namespace vcdiff
