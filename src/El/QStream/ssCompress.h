#pragma once
// The LZ codec of binary files and data banks: an LZSS coder over a 4096-byte ring window.
//
// Stream format: groups of one flag byte (read from its lowest bit up; 1 = literal, 0 = reference)
// followed by up to eight tokens. A literal is the output byte. A reference is two bytes b0 b1:
// distance b0 | ((b1 & 0xF0) << 4), length (b1 & 0x0F) + 3, copied from ring position (current ring
// position - distance) mod 4096. The ring starts as spaces and the current position at 4078; every
// output byte is written to the ring at the current position, which then advances. After the token
// that completes the expected output size come 4 bytes, little-endian: the sum of all output bytes
// taken as unsigned, wrapping at 32 bits. The output size itself is not stored; callers know it.
//
// Failures are reported through the diagnostics as "ssCompress(<line>) : <message>" with one of
// "LZW: stream read failed", "LZW overflow", "LZW: end of stream" or "Checksum", and the decoder
// returns false; the destination then holds what was produced so far. Decoding time accumulates
// under the timing counter "ssDec".

#include <cstddef>  // std::size_t
#include <cstdint>  // fixed-size integers

class QIStream;
class QOStream;

// The coder's work area (about 30 KiB): the ring with a mirror of its first 17 bytes past the end,
// and the binary search tree over ring positions. Callers keep one on the stack per coded block.
class SSCompress {
 public:
  static constexpr int kRingSize = 4096;
  static constexpr int kLongestMatch = 18;
  static constexpr int kThreshold = 2;  // matches of this length or less are coded as literals
  static constexpr int kRingStart = kRingSize - kLongestMatch;  // 4078

  // Codes everything from `in`'s current position to its end and appends it to `out`. Empty input
  // writes nothing at all, not even a checksum.
  void Encode(QOStream& out, QIStream& in);
  void Encode(QOStream& out, const void* data, std::size_t size);

  // Produces exactly `size` bytes into `destination`, reading the stream from `in`'s current
  // position and leaving `in` just past the checksum. A size below 1 succeeds without reading.
  bool Decode(void* destination, std::int64_t size, QIStream& in);
  // The same walk without a destination: consumes the coded block and verifies its checksum. A
  // reference longer than the bytes still expected is accepted here (its bytes count in the sum).
  bool DecodeDiscard(std::int64_t size, QIStream& in);
  // Decodes from a block of memory; every byte is checked against `sourceLength` before use.
  bool Decode(void* destination, std::int64_t size, const void* source, std::size_t sourceLength);

 private:
  static constexpr int kNone = kRingSize;            // "no node" in the tree arrays
  static constexpr int kRoots = kRingSize + 1;       // right-child slots of the 256 roots start here

  template <class Source, class Sink>
  void EncodeFrom(Source& in, Sink& out);
  template <class Source>
  bool DecodeDiscardFrom(std::int64_t size, Source& in);
  void InitTree();
  void InsertNode(int r);
  void DeleteNode(int p);

  std::uint8_t ring_[kRingSize + kLongestMatch - 1];
  std::uint16_t left_[kRingSize + 1];
  std::uint16_t right_[kRingSize + 1 + 256];
  std::uint16_t parent_[kRingSize + 1];
  int matchPosition_ = 0;
  int matchLength_ = 0;
};
