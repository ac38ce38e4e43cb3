#include "xz/lzmaDecoder.h"

#include <cstring>
#include <new>

#if defined(__GNUC__)
#define XZ_ALWAYS_INLINE inline __attribute__((always_inline))
#define XZ_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define XZ_ALWAYS_INLINE inline
#define XZ_UNLIKELY(x) (x)
#endif

namespace xz {

namespace {

constexpr std::uint32_t kTopValue = 1u << 24;
constexpr int kModelBits = 11;
constexpr std::uint32_t kModelTotal = 1u << kModelBits;
constexpr int kMoveBits = 5;
constexpr std::size_t kFirstBuffer = 64 << 10;

// The range decoder's registers, copied into locals for the length of a Decode call.
struct RangeDecoder {
  std::uint32_t range;
  std::uint32_t code;
  const std::uint8_t* in;

  XZ_ALWAYS_INLINE void Normalize() {
    if (range < kTopValue) {
      range <<= 8;
      code = (code << 8) | *in++;
    }
  }

  XZ_ALWAYS_INLINE unsigned Bit(std::uint16_t* probability) {
    Normalize();
    const std::uint32_t p = *probability;
    const std::uint32_t bound = (range >> kModelBits) * p;
    if (code < bound) {
      range = bound;
      *probability = static_cast<std::uint16_t>(p + ((kModelTotal - p) >> kMoveBits));
      return 0;
    }
    range -= bound;
    code -= bound;
    *probability = static_cast<std::uint16_t>(p - (p >> kMoveBits));
    return 1;
  }

  // `bits` bits, most significant first, through a binary tree of probabilities.
  XZ_ALWAYS_INLINE unsigned Tree(std::uint16_t* probabilities, int bits) {
    unsigned m = 1;
    for (int i = 0; i < bits; ++i) m = (m << 1) | Bit(probabilities + m);
    return m - (1u << bits);
  }

  // `bits` bits, least significant first.
  XZ_ALWAYS_INLINE unsigned ReverseTree(std::uint16_t* probabilities, int bits) {
    unsigned m = 1;
    unsigned symbol = 0;
    for (int i = 0; i < bits; ++i) {
      const unsigned bit = Bit(probabilities + m);
      m = (m << 1) | bit;
      symbol |= bit << i;
    }
    return symbol;
  }

  // `count` (at least 1) bits of even probability, most significant first.
  XZ_ALWAYS_INLINE std::uint32_t Direct(int count) {
    std::uint32_t result = 0;
    do {
      Normalize();
      range >>= 1;
      code -= range;
      const std::uint32_t mask = 0u - (code >> 31);  // all ones when the bit is 0
      code += range & mask;
      result = (result << 1) + (mask + 1);
    } while (--count > 0);
    return result;
  }

  // A match length less the shortest (2): 0-7, 8-15 or 16-271.
  XZ_ALWAYS_INLINE unsigned Length(std::uint16_t* probabilities, unsigned posState) {
    if (!Bit(probabilities)) return Tree(probabilities + 2 + posState * 8, 3);
    if (!Bit(probabilities + 1)) return 8 + Tree(probabilities + 2 + 16 * 8 + posState * 8, 3);
    return 16 + Tree(probabilities + 2 + 2 * 16 * 8, 8);
  }
};

}  // namespace

void Dictionary::Configure(std::uint32_t dictionarySize) {
  const std::size_t rounded = (static_cast<std::size_t>(dictionarySize) + 15) & ~static_cast<std::size_t>(15);
  // A buffer grown for a larger dictionary would keep history the stream may not use.
  if (capacity > rounded) {
    buffer.reset();
    capacity = 0;
  }
  limit = rounded;
  Reset();
}

bool Dictionary::MakeRoom() {
  if (pos < capacity) return true;
  if (capacity < limit) {
    // Still growing: the history is [0, pos) and the buffer has not wrapped yet.
    std::size_t grown = capacity < kFirstBuffer ? kFirstBuffer : capacity * 2;
    if (grown > limit || grown < capacity) grown = limit;
    std::unique_ptr<std::uint8_t[]> larger(new (std::nothrow) std::uint8_t[grown]);
    if (!larger) return false;
    if (pos > 0) std::memcpy(larger.get(), buffer.get(), pos);
    buffer = std::move(larger);
    capacity = grown;
    return true;
  }
  pos = 0;  // full: wrap, every byte is history
  return true;
}

bool LzmaDecoder::SetProperties(std::uint8_t byte) {
  if (byte >= 9 * 5 * 5) return false;
  lc_ = byte % 9;
  byte /= 9;
  lp_ = byte % 5;
  pb_ = byte / 5;
  return lc_ + lp_ <= 4;
}

void LzmaDecoder::ResetState() {
  for (std::uint16_t& p : probs_) p = kModelTotal / 2;
  state_ = 0;
  reps_[0] = reps_[1] = reps_[2] = reps_[3] = 0;
  pendingLength_ = 0;
}

bool LzmaDecoder::StartChunk(const std::uint8_t* in, const std::uint8_t* end) {
  if (end - in < 5 || in[0] != 0) return false;
  code_ = static_cast<std::uint32_t>(in[1]) << 24 | static_cast<std::uint32_t>(in[2]) << 16 |
          static_cast<std::uint32_t>(in[3]) << 8 | in[4];
  range_ = 0xFFFFFFFFu;
  in_ = in + 5;
  end_ = end;
  return code_ != 0xFFFFFFFFu;
}

bool LzmaDecoder::FinishChunk() {
  RangeDecoder rc{range_, code_, in_};
  rc.Normalize();
  return rc.in == end_ && rc.code == 0 && pendingLength_ == 0;
}

bool LzmaDecoder::Decode(Dictionary& dict, std::size_t limit) {
  std::uint8_t* const buffer = dict.buffer.get();
  const std::size_t capacity = dict.capacity;
  const std::size_t fullBefore = dict.full;
  std::size_t pos = dict.pos;
  RangeDecoder rc{range_, code_, in_};
  const std::uint8_t* const end = end_;
  std::uint32_t state = state_;
  std::uint32_t rep0 = reps_[0], rep1 = reps_[1], rep2 = reps_[2], rep3 = reps_[3];
  std::uint16_t* const probs = probs_;
  const unsigned lc = lc_;
  const std::size_t lpMask = (std::size_t{1} << lp_) - 1;
  const std::size_t pbMask = (std::size_t{1} << pb_) - 1;
  std::size_t pending = pendingLength_;
  bool ok = true;

  // History holds `pos` bytes before the first wrap and the whole buffer after it.
  const auto inHistory = [&](std::uint32_t distance) { return distance < pos || distance < fullBefore; };
  // Where the byte `distance + 1` back sits.
  const auto source = [&](std::uint32_t distance) {
    return pos > distance ? pos - distance - 1 : pos + capacity - distance - 1;
  };
  const auto copyMatch = [&](std::size_t length) {
    std::size_t from = source(rep0);
    std::uint8_t* out = buffer + pos;
    pos += length;
    if (from + length <= capacity) {
      const std::uint8_t* in = buffer + from;
      for (std::size_t i = 0; i < length; ++i) out[i] = in[i];
    } else {
      for (std::size_t i = 0; i < length; ++i) {
        out[i] = buffer[from];
        if (++from == capacity) from = 0;
      }
    }
  };

  if (pending > 0 && pos < limit) {
    const std::size_t now = pending < limit - pos ? pending : limit - pos;
    copyMatch(now);
    pending -= now;
  }
  while (pos < limit) {
    if (XZ_UNLIKELY(rc.in > end)) {
      ok = false;
      break;
    }
    const std::size_t posState = pos & pbMask;
    if (!rc.Bit(probs + kIsMatch + (state << 4) + posState)) {
      const unsigned previous = pos > 0 ? buffer[pos - 1] : (fullBefore > 0 ? buffer[capacity - 1] : 0);
      std::uint16_t* const literal =
          probs + kLiteral + 0x300 * (((pos & lpMask) << lc) + (previous >> (8 - lc)));
      unsigned symbol = 1;
      if (state < 7) {
        do symbol = (symbol << 1) | rc.Bit(literal + symbol); while (symbol < 0x100);
      } else {
        // After a match the literal is coded against the byte at the last distance, bit by bit
        // while they agree.
        if (XZ_UNLIKELY(!inHistory(rep0))) {
          ok = false;
          break;
        }
        unsigned matchByte = buffer[source(rep0)];
        unsigned offset = 0x100;
        do {
          matchByte <<= 1;
          const unsigned matchBit = matchByte & offset;
          const unsigned bit = rc.Bit(literal + offset + matchBit + symbol);
          symbol = (symbol << 1) | bit;
          offset &= bit ? matchBit : ~matchBit;
        } while (symbol < 0x100);
      }
      buffer[pos++] = static_cast<std::uint8_t>(symbol);
      state = state < 4 ? 0 : (state < 10 ? state - 3 : state - 6);
      continue;
    }
    unsigned length;
    if (!rc.Bit(probs + kIsRep + state)) {
      length = rc.Length(probs + kLenCoder, static_cast<unsigned>(posState));
      state = state < 7 ? 7 : 10;
      const unsigned slot = rc.Tree(probs + kPosSlot + (length < 4 ? length : 3) * 64, 6);
      std::uint32_t distance = slot;
      if (slot >= 4) {
        const int direct = static_cast<int>(slot >> 1) - 1;
        distance = (2 | (slot & 1)) << direct;
        if (slot < 14) {
          distance += rc.ReverseTree(probs + kSpecPos + distance - slot, direct);
        } else {
          distance += rc.Direct(direct - 4) << 4;
          distance += rc.ReverseTree(probs + kAlign, 4);
        }
      }
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      rep0 = distance;  // the end marker (all ones) is never in history, so it fails below
    } else {
      if (!rc.Bit(probs + kIsRepG0 + state)) {
        if (!rc.Bit(probs + kIsRep0Long + (state << 4) + posState)) {
          // One byte from the last distance.
          if (XZ_UNLIKELY(!inHistory(rep0))) {
            ok = false;
            break;
          }
          state = state < 7 ? 9 : 11;
          buffer[pos] = buffer[source(rep0)];
          ++pos;
          continue;
        }
      } else {
        std::uint32_t distance;
        if (!rc.Bit(probs + kIsRepG1 + state)) {
          distance = rep1;
        } else {
          if (!rc.Bit(probs + kIsRepG2 + state)) {
            distance = rep2;
          } else {
            distance = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = distance;
      }
      length = rc.Length(probs + kRepLenCoder, static_cast<unsigned>(posState));
      state = state < 7 ? 8 : 11;
    }
    if (XZ_UNLIKELY(!inHistory(rep0))) {
      ok = false;
      break;
    }
    const std::size_t total = length + 2;
    const std::size_t now = total < limit - pos ? total : limit - pos;
    copyMatch(now);
    pending = total - now;
  }

  dict.pos = pos;
  if (pos > dict.full) dict.full = pos;
  range_ = rc.range;
  code_ = rc.code;
  in_ = rc.in;
  state_ = state;
  reps_[0] = rep0;
  reps_[1] = rep1;
  reps_[2] = rep2;
  reps_[3] = rep3;
  pendingLength_ = pending;
  return ok && rc.in <= end;
}

}  // namespace xz
