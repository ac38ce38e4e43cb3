#include "El/QStream/ssCompress.h"

#include <cstring>

#include "El/Common/appFrame.h"
#include "El/Common/perfLog.h"
#include "El/QStream/qstream.h"

namespace {

constexpr int kRingMask = SSCompress::kRingSize - 1;
constexpr int kLongest = SSCompress::kLongestMatch;
constexpr int kMirror = kLongest - 1;  // ring bytes repeated past the end for comparisons
// A group is a flag byte and at most eight tokens of at most two bytes; it yields at most 8 * 18.
constexpr std::size_t kGroupSourceBytes = 16;
constexpr std::int64_t kGroupOutputBytes = 8 * kLongest;
// Output is summed for the checksum in blocks of this size while it is still in the cache.
constexpr std::int64_t kSumBlock = 16384;

bool Fail(int line, const char* message) {
  ReportPositionError("ssCompress", line, message);
  return false;
}

int DecodeTimer() {
  static const int index = GPerfTiming().Register("ssDec", "other", 1);
  return index;
}

// A word loaded from memory, arranged so that its lowest bits come from the lowest address.
inline std::uint64_t LittleEndian64(std::uint64_t loaded) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap64(loaded);
#else
  return loaded;
#endif
}

inline std::uint32_t ReadLittleEndian32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

// Sum of bytes, eight at a time: each 16-bit lane of `lanes` gathers two bytes per word, so 128
// words fit before a lane could overflow.
std::uint32_t SumBytes(const std::uint8_t* p, std::size_t size) {
  constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
  std::uint32_t sum = 0;
  while (size >= 8) {
    std::uint64_t lanes = 0;
    std::size_t words = size / 8 < 128 ? size / 8 : 128;
    size -= words * 8;
    for (; words > 0; --words, p += 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      lanes += (w & kLowBytes) + ((w >> 8) & kLowBytes);
    }
    sum += std::uint32_t((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) +
                         (lanes >> 48));
  }
  for (; size > 0; --size) sum += *p++;
  return sum;
}

template <std::size_t N>
inline void Move(std::uint8_t* to, const std::uint8_t* from) {
  std::memcpy(to, from, N);
}

// Copies `length` (3 to 18) bytes from `back` bytes earlier, in fixed-size pieces taken in order. Each
// piece reads only bytes before it: the ranges do not overlap, or `back` is at least 8 and every piece
// reads what earlier pieces (or earlier tokens) wrote.
inline void CopyInPieces(std::uint8_t* to, int back, int length) {
  const std::uint8_t* from = to - back;
  if (length >= 8) {
    Move<8>(to, from);
    if (length > 16) Move<8>(to + 8, from + 8);
    Move<8>(to + length - 8, from + length - 8);
  } else if (length >= 4) {
    Move<4>(to, from);
    Move<4>(to + length - 4, from + length - 4);
  } else {
    Move<2>(to, from);
    to[2] = from[2];
  }
}

// Output position `at` copies `length` bytes from `back` positions earlier. Before the start of the
// output lies the initial ring: spaces (the ring's last 18 bytes are set to spaces as well, so that a
// damaged stream reading them decodes the same way every time).
inline void CopyReference(std::uint8_t* out, std::int64_t at, int back, int length) {
  std::uint8_t* to = out + at;
  if (__builtin_expect(back > at, 0)) {
    for (int k = 0; k < length; ++k) to[k] = at + k >= back ? to[k - back] : 0x20;
  } else if (back >= 8 || back >= length) {
    CopyInPieces(to, back, length);
  } else {
    for (int k = 0; k < length; ++k) to[k] = to[k - back];  // a short repeating pattern
  }
}

// How many of the 18 bytes at `a` and `b` agree, given that the first does: eight at a time, the first
// difference found from the lowest set bit of the XOR of little-endian words.
inline int CommonLength(const std::uint8_t* a, const std::uint8_t* b) {
  for (int i = 1; i + 8 <= kLongest; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return i + __builtin_ctzll(LittleEndian64(x ^ y)) / 8;
  }
  return a[kLongest - 1] == b[kLongest - 1] ? kLongest : kLongest - 1;
}

// A bounded block of memory as the coded input.
class MemorySource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  bool Next(std::uint8_t& byte) {
    if (position_ >= size_) return false;
    byte = data_[position_++];
    return true;
  }
  // The next `count` bytes when that many remain, else null.
  const std::uint8_t* Window(std::size_t count) const {
    return size_ - position_ >= count ? data_ + position_ : nullptr;
  }
  void Skip(std::size_t count) { position_ += count; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// An input stream as the coded input (or as the encoder's input): byte by byte, from its current
// position; a byte is missing when the stream is at its end.
class StreamSource {
 public:
  explicit StreamSource(QIStream& in) : in_(in) {}

  bool Next(std::uint8_t& byte) {
    const int c = in_.get();
    if (c < 0) return false;
    byte = std::uint8_t(c);
    return true;
  }
  const std::uint8_t* Window(std::size_t) const { return nullptr; }
  void Skip(std::size_t) {}

 private:
  QIStream& in_;
};

class StreamSink {
 public:
  explicit StreamSink(QOStream& out) : out_(out) {}
  void Write(const std::uint8_t* bytes, int count) { out_.write(bytes, count); }

 private:
  QOStream& out_;
};

// Decodes `size` bytes into `out`. The output buffer doubles as the window: a reference `distance`
// back in the ring is the output byte `distance` back (4096 back for distance 0), or the initial ring
// before the output's start. A group that the source holds whole and whose largest output fits takes
// the path without per-token checks.
template <class Source>
bool DecodeToBuffer(std::uint8_t* out, std::int64_t size, Source& in) {
  std::int64_t produced = 0;
  std::int64_t summed = 0;
  std::uint32_t sum = 0;
  while (produced < size) {
    std::uint8_t flags;
    if (!in.Next(flags)) return Fail(__LINE__, "LZW: stream read failed");

    const std::uint8_t* group = in.Window(kGroupSourceBytes);
    if (group && size - produced >= kGroupOutputBytes) {
      const std::uint8_t* p = group;
      if (flags == 0xFF) {  // eight literals
        Move<8>(out + produced, p);
        produced += 8;
        p += 8;
      } else {
        for (int bit = 0; bit < 8; ++bit) {
          if (flags & (1u << bit)) {
            out[produced++] = *p++;
          } else {
            const int distance = p[0] | ((p[1] & 0xF0) << 4);
            const int length = (p[1] & 0x0F) + 3;
            p += 2;
            CopyReference(out, produced, distance ? distance : SSCompress::kRingSize, length);
            produced += length;
          }
        }
      }
      in.Skip(std::size_t(p - group));
      if (produced - summed >= kSumBlock) {
        sum += SumBytes(out + summed, std::size_t(produced - summed));
        summed = produced;
      }
      continue;
    }

    for (int bit = 0; bit < 8 && produced < size; ++bit) {
      if (flags & (1u << bit)) {
        if (!in.Next(out[produced])) return Fail(__LINE__, "LZW: stream read failed");
        ++produced;
      } else {
        std::uint8_t b0, b1;
        if (!in.Next(b0) || !in.Next(b1)) return Fail(__LINE__, "LZW: stream read failed");
        const int length = (b1 & 0x0F) + 3;
        if (size - produced < length) return Fail(__LINE__, "LZW overflow");
        const int distance = b0 | ((b1 & 0xF0) << 4);
        CopyReference(out, produced, distance ? distance : SSCompress::kRingSize, length);
        produced += length;
      }
    }
  }
  sum += SumBytes(out + summed, std::size_t(produced - summed));
  std::uint8_t stored[4];
  for (std::uint8_t& b : stored) {
    if (!in.Next(b)) return Fail(__LINE__, "LZW: end of stream");
  }
  if (ReadLittleEndian32(stored) != sum) return Fail(__LINE__, "Checksum");
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Encoding: binary search trees over ring positions, one per first byte, find the longest earlier
// match of the look-ahead.

void SSCompress::InitTree() {
  for (int i = kRoots; i < kRoots + 256; ++i) right_[i] = kNone;
  for (int i = 0; i < kRingSize; ++i) parent_[i] = kNone;
}

// Inserts the string at ring position r and leaves the longest match among the tree's strings in
// matchPosition_ / matchLength_. A string equal over the full 18 bytes takes the older node's place.
void SSCompress::InsertNode(int r) {
  const std::uint8_t* key = &ring_[r];
  int p = kRoots + key[0];
  std::uint16_t* link = &right_[p];
  right_[r] = left_[r] = kNone;
  int bestLength = 0;
  int bestPosition = 0;
  for (;;) {
    if (*link == kNone) {
      *link = std::uint16_t(r);
      parent_[r] = std::uint16_t(p);
      matchPosition_ = bestPosition;
      matchLength_ = bestLength;
      return;
    }
    p = *link;
    const int i = CommonLength(key, &ring_[p]);
    if (i > bestLength) {
      bestPosition = p;
      bestLength = i;
      if (i >= kLongest) break;
    }
    // Greater goes right; the strings differ at i.
    link = key[i] > ring_[p + i] ? &right_[p] : &left_[p];
  }
  matchPosition_ = bestPosition;
  matchLength_ = bestLength;
  parent_[r] = parent_[p];
  left_[r] = left_[p];
  right_[r] = right_[p];
  parent_[left_[p]] = std::uint16_t(r);
  parent_[right_[p]] = std::uint16_t(r);
  if (right_[parent_[p]] == p) {
    right_[parent_[p]] = std::uint16_t(r);
  } else {
    left_[parent_[p]] = std::uint16_t(r);
  }
  parent_[p] = kNone;
}

void SSCompress::DeleteNode(int p) {
  if (parent_[p] == kNone) return;
  int q;
  if (right_[p] == kNone) {
    q = left_[p];
  } else if (left_[p] == kNone) {
    q = right_[p];
  } else {
    q = left_[p];
    if (right_[q] != kNone) {
      do {
        q = right_[q];
      } while (right_[q] != kNone);
      right_[parent_[q]] = left_[q];
      parent_[left_[q]] = parent_[q];
      left_[q] = left_[p];
      parent_[left_[p]] = std::uint16_t(q);
    }
    right_[q] = right_[p];
    parent_[right_[p]] = std::uint16_t(q);
  }
  parent_[q] = parent_[p];
  if (right_[parent_[p]] == p) {
    right_[parent_[p]] = std::uint16_t(q);
  } else {
    left_[parent_[p]] = std::uint16_t(q);
  }
  parent_[p] = kNone;
}

template <class Source, class Sink>
void SSCompress::EncodeFrom(Source& in, Sink& out) {
  InitTree();
  // The whole ring starts as spaces, so that comparisons running past the input's end see the same
  // bytes every time and the coded stream depends on the input alone.
  std::memset(ring_, 0x20, sizeof ring_);
  std::uint32_t sum = 0;
  int r = kRingStart;
  int s = 0;
  int len = 0;
  for (std::uint8_t c; len < kLongest && in.Next(c); ++len) {
    ring_[r + len] = c;
    sum += c;
  }
  if (len == 0) return;
  for (int i = 1; i <= kLongest; ++i) InsertNode(r - i);
  InsertNode(r);

  std::uint8_t group[1 + 8 * 2] = {0};
  int groupSize = 1;
  unsigned flagBit = 1;
  do {
    if (matchLength_ > len) matchLength_ = len;
    if (matchLength_ <= kThreshold) {
      matchLength_ = 1;
      group[0] |= std::uint8_t(flagBit);
      group[groupSize++] = ring_[r];
    } else {
      const int distance = (r - matchPosition_) & kRingMask;
      group[groupSize++] = std::uint8_t(distance & 0xFF);
      group[groupSize++] = std::uint8_t(((distance >> 4) & 0xF0) | (matchLength_ - (kThreshold + 1)));
    }
    flagBit <<= 1;
    if (flagBit == 0x100) {
      out.Write(group, groupSize);
      group[0] = 0;
      groupSize = 1;
      flagBit = 1;
    }
    const int consumed = matchLength_;
    int i = 0;
    for (std::uint8_t c; i < consumed && in.Next(c); ++i) {
      DeleteNode(s);
      ring_[s] = c;
      if (s < kMirror) ring_[s + kRingSize] = c;
      sum += c;
      s = (s + 1) & kRingMask;
      r = (r + 1) & kRingMask;
      InsertNode(r);
    }
    for (; i < consumed; ++i) {
      DeleteNode(s);
      s = (s + 1) & kRingMask;
      r = (r + 1) & kRingMask;
      if (--len > 0) InsertNode(r);
    }
  } while (len > 0);
  if (groupSize > 1) out.Write(group, groupSize);
  const std::uint8_t checksum[4] = {std::uint8_t(sum), std::uint8_t(sum >> 8), std::uint8_t(sum >> 16),
                                    std::uint8_t(sum >> 24)};
  out.Write(checksum, 4);
}

// The format's own walk over the ring, for callers that want only to pass over a coded block.
template <class Source>
bool SSCompress::DecodeDiscardFrom(std::int64_t size, Source& in) {
  ScopedPerfTimer timer(DecodeTimer());
  if (size < 1) return true;
  std::memset(ring_, 0x20, kRingSize);
  int r = kRingStart;
  unsigned flags = 0;
  std::uint32_t sum = 0;
  std::uint8_t c;
  while (size > 0) {
    if (flags & 0x200) {
      flags >>= 1;
    } else {
      if (!in.Next(c)) return Fail(__LINE__, "LZW: stream read failed");
      flags = c | 0xFF00u;
    }
    if (flags & 1) {
      if (!in.Next(c)) return Fail(__LINE__, "LZW: stream read failed");
      ring_[r] = c;
      r = (r + 1) & kRingMask;
      sum += c;
      --size;
    } else {
      std::uint8_t b0, b1;
      if (!in.Next(b0) || !in.Next(b1)) return Fail(__LINE__, "LZW: stream read failed");
      const int from = r - (b0 | ((b1 & 0xF0) << 4));
      const int length = (b1 & 0x0F) + 3;
      for (int k = 0; k < length; ++k) {
        c = ring_[(from + k) & kRingMask];
        ring_[r] = c;
        r = (r + 1) & kRingMask;
        sum += c;
      }
      size -= length;
    }
  }
  std::uint8_t stored[4];
  for (std::uint8_t& b : stored) {
    if (!in.Next(b)) return Fail(__LINE__, "LZW: end of stream");
  }
  if (ReadLittleEndian32(stored) != sum) return Fail(__LINE__, "Checksum");
  return true;
}

// ---------------------------------------------------------------------------------------------
// The public forms

bool SSCompress::Decode(void* destination, std::int64_t size, const void* source,
                        std::size_t sourceLength) {
  ScopedPerfTimer timer(DecodeTimer());
  if (size < 1) return true;
  MemorySource in(source, sourceLength);
  return DecodeToBuffer(static_cast<std::uint8_t*>(destination), size, in);
}

bool SSCompress::Decode(void* destination, std::int64_t size, QIStream& in) {
  ScopedPerfTimer timer(DecodeTimer());
  if (size < 1) return true;
  StreamSource source(in);
  return DecodeToBuffer(static_cast<std::uint8_t*>(destination), size, source);
}

bool SSCompress::DecodeDiscard(std::int64_t size, QIStream& in) {
  StreamSource source(in);
  return DecodeDiscardFrom(size, source);
}

void SSCompress::Encode(QOStream& out, QIStream& in) {
  StreamSource source(in);
  StreamSink sink(out);
  EncodeFrom(source, sink);
}

void SSCompress::Encode(QOStream& out, const void* data, std::size_t size) {
  MemorySource source(data, size);
  StreamSink sink(out);
  EncodeFrom(source, sink);
}
