#include "El/QStream/crc32.h"

#include <vector>

#include "platform/fileSystem.h"

#if defined(__x86_64__) || defined(__i386__)
#define ZR_CRC32_FOLDING 1
#include <immintrin.h>  // carry-less multiplication and byte shuffles, used only after a CPU check
#endif

namespace crc32detail {
namespace {

constexpr std::uint32_t kPolynomial = 0x04C11DB7u;

// Slicing tables: slice[k][b] is the register change caused by byte b followed by k zero bytes.
// slice[0] is the plain byte table.
struct SliceTables {
  std::uint32_t slice[16][256];
};

constexpr SliceTables MakeSliceTables() {
  SliceTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i << 24;
    for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : r << 1;
    t.slice[0][i] = r;
  }
  for (int k = 1; k < 16; ++k) {
    for (int i = 0; i < 256; ++i) {
      const std::uint32_t prev = t.slice[k - 1][i];
      t.slice[k][i] = (prev << 8) ^ t.slice[0][prev >> 24];
    }
  }
  return t;
}

constexpr SliceTables kSlices = MakeSliceTables();

inline std::uint32_t LoadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
         std::uint32_t(p[3]);
}

}  // namespace

const std::uint32_t* ByteTable() { return kSlices.slice[0]; }

std::uint32_t UpdateBytewise(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  const std::uint32_t* table = kSlices.slice[0];
  for (std::size_t i = 0; i < size; ++i) reg = (reg << 8) ^ table[(reg >> 24) ^ data[i]];
  return reg;
}

std::uint32_t UpdateSliced(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  const auto& t = kSlices.slice;
  while (size >= 16) {
    const std::uint32_t w0 = LoadBigEndian32(data) ^ reg;
    const std::uint32_t w1 = LoadBigEndian32(data + 4);
    const std::uint32_t w2 = LoadBigEndian32(data + 8);
    const std::uint32_t w3 = LoadBigEndian32(data + 12);
    reg = t[15][w0 >> 24] ^ t[14][(w0 >> 16) & 0xFF] ^ t[13][(w0 >> 8) & 0xFF] ^ t[12][w0 & 0xFF] ^
          t[11][w1 >> 24] ^ t[10][(w1 >> 16) & 0xFF] ^ t[9][(w1 >> 8) & 0xFF] ^ t[8][w1 & 0xFF] ^
          t[7][w2 >> 24] ^ t[6][(w2 >> 16) & 0xFF] ^ t[5][(w2 >> 8) & 0xFF] ^ t[4][w2 & 0xFF] ^
          t[3][w3 >> 24] ^ t[2][(w3 >> 16) & 0xFF] ^ t[1][(w3 >> 8) & 0xFF] ^ t[0][w3 & 0xFF];
    data += 16;
    size -= 16;
  }
  return UpdateBytewise(reg, data, size);
}

#if ZR_CRC32_FOLDING

namespace {

// x^k mod P, the polynomial with the coefficient of x^i in bit i.
constexpr std::uint32_t XPowerModP(int k) {
  std::uint32_t v = 1;
  for (int i = 0; i < k; ++i) v = (v & 0x80000000u) ? (v << 1) ^ kPolynomial : v << 1;
  return v;
}

// Folding a 128-bit block A forward over D bits: A * x^D = hi * x^(D+64) + lo * x^D, and each product
// with the reduced power has at most 95 bits, so the result fits the block again and is congruent.
#define ZR_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

// The pair of reduced powers that folds a block forward over `distance` bits, computed at compile time.
struct FoldPowers {
  std::uint32_t low;   // x^(distance + 64) mod P, for the high half
  std::uint32_t high;  // x^distance mod P, for the low half
};
constexpr FoldPowers PowersFor(int distance) {
  return {XPowerModP(distance + 64), XPowerModP(distance)};
}
constexpr FoldPowers kFold128 = PowersFor(128);
constexpr FoldPowers kFold256 = PowersFor(256);
constexpr FoldPowers kFold384 = PowersFor(384);
constexpr FoldPowers kFold512 = PowersFor(512);
constexpr FoldPowers kFold2048 = PowersFor(2048);

ZR_FOLD_TARGET inline __m128i FoldConstants(FoldPowers powers) {
  return _mm_set_epi32(0, int(powers.high), 0, int(powers.low));
}

ZR_FOLD_TARGET inline __m128i Fold(__m128i block, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x01),
                       _mm_clmulepi64_si128(block, constants, 0x10));
}

ZR_FOLD_TARGET inline __m128i ReverseBytes() {
  return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

// 16 message bytes as a polynomial: the first byte's top bit becomes bit 127.
ZR_FOLD_TARGET inline __m128i LoadBlock(const std::uint8_t* p) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), ReverseBytes());
}

// Folds the remaining whole blocks into `a`, which is congruent to everything before `data`, and
// returns the register after the rest of the bytes.
ZR_FOLD_TARGET inline std::uint32_t FinishFolding(__m128i a, const std::uint8_t* data, std::size_t size) {
  const __m128i fold128 = FoldConstants(kFold128);
  while (size >= 16) {
    a = _mm_xor_si128(Fold(a, fold128), LoadBlock(data));
    data += 16;
    size -= 16;
  }
  // The CRC of the folded block from a zero register is the register after everything so far.
  std::uint8_t block[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(block), _mm_shuffle_epi8(a, ReverseBytes()));
  return UpdateSliced(UpdateSliced(0, block, sizeof block), data, size);
}

}  // namespace

bool FoldingAvailable() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#if defined(__i386__)
// 32-bit Windows guarantees only 4-byte stack alignment; realign for the 16-byte vector spills.
__attribute__((force_align_arg_pointer))
#endif
ZR_FOLD_TARGET std::uint32_t UpdateFolded(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  if (size < 64) return UpdateSliced(reg, data, size);
  const __m128i fold512 = FoldConstants(kFold512);
  const __m128i fold128 = FoldConstants(kFold128);

  // Four blocks in flight; the register joins the message as the XOR of its first 32 bits.
  __m128i a0 = _mm_xor_si128(LoadBlock(data), _mm_set_epi32(int(reg), 0, 0, 0));
  __m128i a1 = LoadBlock(data + 16);
  __m128i a2 = LoadBlock(data + 32);
  __m128i a3 = LoadBlock(data + 48);
  data += 64;
  size -= 64;
  while (size >= 64) {
    a0 = _mm_xor_si128(Fold(a0, fold512), LoadBlock(data));
    a1 = _mm_xor_si128(Fold(a1, fold512), LoadBlock(data + 16));
    a2 = _mm_xor_si128(Fold(a2, fold512), LoadBlock(data + 32));
    a3 = _mm_xor_si128(Fold(a3, fold512), LoadBlock(data + 48));
    data += 64;
    size -= 64;
  }
  __m128i a = _mm_xor_si128(Fold(a0, fold128), a1);
  a = _mm_xor_si128(Fold(a, fold128), a2);
  a = _mm_xor_si128(Fold(a, fold128), a3);
  return FinishFolding(a, data, size);
}

#if defined(__x86_64__)

// The same folding four 128-bit lanes at a time. Kept to 64-bit builds: 32-bit Windows does not keep
// the stack aligned for 64-byte spills.
#define ZR_WIDE_TARGET __attribute__((target("pclmul,sse4.1,avx512f,avx512bw,vpclmulqdq")))

namespace {

ZR_WIDE_TARGET inline __m512i WideFoldConstants(FoldPowers powers) {
  const int low = int(powers.low);
  const int high = int(powers.high);
  return _mm512_set_epi32(0, high, 0, low, 0, high, 0, low, 0, high, 0, low, 0, high, 0, low);
}

// Folds `block` forward and adds (XORs) `next`, the three-way XOR in one instruction.
ZR_WIDE_TARGET inline __m512i WideFold(__m512i block, __m512i constants, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(block, constants, 0x01),
                                   _mm512_clmulepi64_epi128(block, constants, 0x10), next, 0x96);
}

ZR_WIDE_TARGET inline __m512i WideLoad(const std::uint8_t* p) {
  const long long kHigh = 0x0001020304050607ll;  // ReverseBytes() in each 128-bit lane
  const long long kLow = 0x08090A0B0C0D0E0Fll;
  const __m512i reverse = _mm512_set_epi64(kHigh, kLow, kHigh, kLow, kHigh, kLow, kHigh, kLow);
  return _mm512_shuffle_epi8(_mm512_loadu_si512(p), reverse);
}

}  // namespace

bool WideFoldingAvailable() {
  __builtin_cpu_init();
  return FoldingAvailable() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("vpclmulqdq");
}

ZR_WIDE_TARGET std::uint32_t UpdateFoldedWide(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  if (size < 256) return UpdateFolded(reg, data, size);
  const __m512i fold2048 = WideFoldConstants(kFold2048);
  const __m512i fold512 = WideFoldConstants(kFold512);

  const __m512i start = _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, int(reg), 0, 0, 0);
  __m512i a0 = _mm512_xor_si512(WideLoad(data), start);
  __m512i a1 = WideLoad(data + 64);
  __m512i a2 = WideLoad(data + 128);
  __m512i a3 = WideLoad(data + 192);
  data += 256;
  size -= 256;
  while (size >= 256) {
    a0 = WideFold(a0, fold2048, WideLoad(data));
    a1 = WideFold(a1, fold2048, WideLoad(data + 64));
    a2 = WideFold(a2, fold2048, WideLoad(data + 128));
    a3 = WideFold(a3, fold2048, WideLoad(data + 192));
    data += 256;
    size -= 256;
  }
  __m512i a = WideFold(a0, fold512, a1);
  a = WideFold(a, fold512, a2);
  a = WideFold(a, fold512, a3);
  while (size >= 64) {
    a = WideFold(a, fold512, WideLoad(data));
    data += 64;
    size -= 64;
  }
  // Lane i lies 48 - 16 i bytes before the end of what was folded.
  __m128i lanes[4];
  _mm512_storeu_si512(lanes, a);
  __m128i b = _mm_xor_si128(Fold(lanes[0], FoldConstants(kFold384)),
                            Fold(lanes[1], FoldConstants(kFold256)));
  b = _mm_xor_si128(b, Fold(lanes[2], FoldConstants(kFold128)));
  b = _mm_xor_si128(b, lanes[3]);
  return FinishFolding(b, data, size);
}

#undef ZR_WIDE_TARGET

#else

bool WideFoldingAvailable() { return false; }
std::uint32_t UpdateFoldedWide(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  return UpdateFolded(reg, data, size);
}

#endif

#undef ZR_FOLD_TARGET

#else

bool FoldingAvailable() { return false; }
std::uint32_t UpdateFolded(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  return UpdateSliced(reg, data, size);
}
bool WideFoldingAvailable() { return false; }
std::uint32_t UpdateFoldedWide(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  return UpdateSliced(reg, data, size);
}

#endif

std::uint32_t Update(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  using Implementation = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);
  static const Implementation best = WideFoldingAvailable() ? UpdateFoldedWide
                                     : FoldingAvailable()   ? UpdateFolded
                                                            : UpdateSliced;
  return best(reg, data, size);
}

}  // namespace crc32detail

void Crc32::Update(const void* data, std::size_t size) {
  state_ = crc32detail::Update(state_, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t Crc32Of(const void* data, std::size_t size) {
  Crc32 crc;
  crc.Update(data, size);
  return crc.Value();
}

bool Crc32OfFile(const char* name, std::uint32_t* crc, std::uint64_t* fileSize) {
  constexpr std::uint32_t kBlockSize = 1u << 20;
  platform::FileSystem* fs = platform::CurrentFileSystem();
  const platform::FileHandle handle = fs->OpenRead(name);
  if (!platform::IsValidFile(handle)) return false;
  std::uint64_t size = 0;
  bool ok = fs->Size(handle, &size);
  if (ok) {
    std::vector<std::uint8_t> block(size < kBlockSize ? std::size_t(size) : kBlockSize);
    Crc32 sum;
    std::uint64_t position = 0;
    while (ok && position < size) {
      const std::uint64_t left = size - position;
      const std::uint32_t want = left < kBlockSize ? std::uint32_t(left) : kBlockSize;
      std::uint32_t got = 0;
      ok = fs->ReadAt(handle, position, block.data(), want, &got) && got == want;
      if (ok) sum.Update(block.data(), got);
      position += got;
    }
    if (ok) *crc = sum.Value();
  }
  if (ok && fileSize) *fileSize = size;
  fs->Close(handle);
  return ok;
}
