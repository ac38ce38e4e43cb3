#include "vcdiff/adler32.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vcdiff {

namespace {

constexpr std::uint32_t kModulus = 65521;
// The most bytes that can be summed before the 32-bit sums must be reduced.
constexpr std::size_t kMaxRun = 5552;

std::uint32_t Adler32Bytes(std::uint32_t a, std::uint32_t b, const std::uint8_t* data, std::size_t size) {
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

}  // namespace

#if defined(__SSE2__)
// Verifying every window's checksum costs as much as copying it; this path sums 32-byte blocks with
// vector instructions. For block k of a run, b grows by 32 * (a before the run + the bytes of the
// blocks before k) + the block's bytes weighted 32..1; a grows by the block's bytes.
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kBlock = 32;
  constexpr std::size_t kBlocksPerRun = kMaxRun / kBlock;
  std::uint32_t a = adler & 0xFFFF;
  std::uint32_t b = adler >> 16;
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights1 = _mm_setr_epi16(32, 31, 30, 29, 28, 27, 26, 25);
  const __m128i weights2 = _mm_setr_epi16(24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i weights3 = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weights4 = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  while (size >= kBlock) {
    std::size_t blocks = size / kBlock;
    if (blocks > kBlocksPerRun) blocks = kBlocksPerRun;
    size -= blocks * kBlock;
    __m128i sums = zero;         // bytes so far in this run
    __m128i earlierSums = zero;  // the running byte sum at the start of each block, added up
    __m128i weighted = zero;
    for (std::size_t block = 0; block < blocks; ++block) {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16));
      earlierSums = _mm_add_epi32(earlierSums, sums);
      sums = _mm_add_epi32(sums, _mm_add_epi32(_mm_sad_epu8(low, zero), _mm_sad_epu8(high, zero)));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), weights1));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), weights2));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), weights3));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), weights4));
      data += kBlock;
    }
    alignas(16) std::uint32_t lanes[3][4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[0]), sums);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[1]), earlierSums);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes[2]), weighted);
    const std::uint64_t byteSum = std::uint64_t{lanes[0][0]} + lanes[0][2];
    const std::uint64_t earlier = std::uint64_t{lanes[1][0]} + lanes[1][2];
    const std::uint64_t weightedSum = std::uint64_t{lanes[2][0]} + lanes[2][1] + lanes[2][2] + lanes[2][3];
    b = static_cast<std::uint32_t>((b + kBlock * blocks * std::uint64_t{a} + kBlock * earlier + weightedSum) % kModulus);
    a = static_cast<std::uint32_t>((a + byteSum) % kModulus);
  }
  return Adler32Bytes(a, b, data, size);
}
#else
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
  return Adler32Bytes(adler & 0xFFFF, adler >> 16, data, size);
}
#endif

}  // namespace vcdiff
