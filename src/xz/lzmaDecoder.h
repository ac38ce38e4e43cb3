#pragma once
// The LZMA core under LZMA2: the dictionary that matches copy from, and the range-coded literals,
// matches and repeated matches of one chunk.
//
// A chunk's compressed bytes are all in memory before it is decoded (LZMA2 gives their count), so
// the range decoder never waits for input; it stops only where the caller's output room ends, in
// the middle of a match if need be, and continues from there on the next call.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace xz {

// Decoded history: a circular buffer that grows with the data until it holds the dictionary size,
// so that a short stream with a large declared dictionary allocates only what it uses.
class Dictionary {
 public:
  // The dictionary size a stream declares; the buffer is rounded up to a multiple of 16 so that the
  // position in it keeps the low bits of the stream position across a wrap.
  void Configure(std::uint32_t dictionarySize);
  // Forgets all history (a dictionary reset).
  void Reset() {
    pos = 0;
    full = 0;
  }
  // Makes room after `pos`: grows the buffer while it is smaller than the dictionary, else wraps.
  // False when memory runs out.
  bool MakeRoom();

  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t capacity = 0;  // bytes allocated
  std::size_t limit = 0;     // the largest the buffer grows: the dictionary size rounded up to 16
  std::size_t pos = 0;       // where the next byte goes; history is the `full` bytes before it
  std::size_t full = 0;      // bytes of valid history, at most `capacity`
};

class LzmaDecoder {
 public:
  // Literal context bits, literal position bits and position bits from an LZMA2 properties byte
  // ((pb * 5 + lp) * 9 + lc); false when they are out of range or lc + lp exceeds 4.
  bool SetProperties(std::uint8_t byte);
  // Back to the initial state: all probabilities even, no repeated distances.
  void ResetState();

  // Starts a chunk whose compressed bytes are [in, end); at least kInputPadding readable bytes must
  // follow `end` (the decoder may look ahead into them before it notices the chunk is over). False
  // when the chunk does not start like a range-coded stream.
  bool StartChunk(const std::uint8_t* in, const std::uint8_t* end);
  // Decodes into dict.buffer from dict.pos up to `limit` (at most dict.capacity). False on corrupt
  // data: a distance past the history, an end marker, or reading past the chunk.
  bool Decode(Dictionary& dict, std::size_t limit);
  // After the chunk's last byte of output: true when the compressed bytes ended exactly there and
  // no match is left unfinished.
  bool FinishChunk();
  // Bytes of a match cut short by the output limit, still to be copied.
  std::size_t PendingMatch() const { return pendingLength_; }

  static constexpr std::size_t kInputPadding = 64;

 private:
  // Probability table layout.
  static constexpr int kStates = 12;
  static constexpr int kIsMatch = 0;
  static constexpr int kIsRep = kIsMatch + kStates * 16;
  static constexpr int kIsRepG0 = kIsRep + kStates;
  static constexpr int kIsRepG1 = kIsRepG0 + kStates;
  static constexpr int kIsRepG2 = kIsRepG1 + kStates;
  static constexpr int kIsRep0Long = kIsRepG2 + kStates;
  static constexpr int kPosSlot = kIsRep0Long + kStates * 16;
  static constexpr int kSpecPos = kPosSlot + 4 * 64;
  static constexpr int kAlign = kSpecPos + 115;
  static constexpr int kLenCoder = kAlign + 16;
  static constexpr int kLenSize = 2 + 16 * 8 + 16 * 8 + 256;
  static constexpr int kRepLenCoder = kLenCoder + kLenSize;
  static constexpr int kLiteral = kRepLenCoder + kLenSize;
  static constexpr int kProbabilities = kLiteral + 0x300 * 16;

  std::uint16_t probs_[kProbabilities];
  unsigned lc_ = 0, lp_ = 0, pb_ = 0;
  std::uint32_t state_ = 0;
  std::uint32_t reps_[4] = {0, 0, 0, 0};
  std::size_t pendingLength_ = 0;
  // Range decoder.
  std::uint32_t range_ = 0;
  std::uint32_t code_ = 0;
  const std::uint8_t* in_ = nullptr;
  const std::uint8_t* end_ = nullptr;
};

}  // namespace xz
