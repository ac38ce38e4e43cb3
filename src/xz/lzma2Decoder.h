#pragma once
// An LZMA2 stream: a sequence of chunks, each either stored bytes or LZMA data of up to 2 MiB of
// output from up to 64 KiB of input, which may reset the dictionary, the LZMA state or the LZMA
// properties, and an end marker (a zero byte).
//
// Input arrives in pieces of any size and output room in pieces of any size; the decoder keeps
// what it has not finished. An LZMA chunk's compressed bytes are gathered whole before it is
// decoded, so a chunk's output appears once its last byte has arrived.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "xz/lzmaDecoder.h"
#include "xz/xzStatus.h"

namespace xz {

// Dictionary size of an LZMA2 properties byte (0-40); 0 for a byte out of range.
std::uint32_t Lzma2DictionarySize(std::uint8_t properties);

class Lzma2Decoder {
 public:
  Lzma2Decoder();
  ~Lzma2Decoder();
  Lzma2Decoder(const Lzma2Decoder&) = delete;
  Lzma2Decoder& operator=(const Lzma2Decoder&) = delete;

  // Starts a new stream with the given dictionary size; fails with MemoryLimit when the dictionary
  // is larger than `memoryLimit` bytes (the buffer grows with the data, up to the dictionary size).
  XzStatus Start(std::uint32_t dictionarySize, std::uint64_t memoryLimit, XzError* error);

  // Consumes input from in[*inPos, inSize) and writes output to out[*outPos, outSize), advancing
  // both. Returns Ok when it needs more input or more output room, StreamEnd once the end marker
  // has been consumed (no byte after it is read), or an error, which stays until Start.
  XzStatus Decode(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::uint8_t* out,
                  std::size_t outSize, std::size_t* outPos, XzError* error);

 private:
  enum class Step { Control, Header, Stored, Gather, Lzma, End, Failed };
  XzStatus StartChunk(XzError* error);

  std::unique_ptr<LzmaDecoder> lzma_;
  Dictionary dict_;
  std::unique_ptr<std::uint8_t[]> chunk_;  // a compressed chunk, with the decoder's look-ahead room
  Step step_ = Step::Failed;
  std::uint8_t control_ = 0;
  std::uint8_t header_[5] = {};
  std::size_t headerUsed_ = 0;
  std::size_t headerSize_ = 0;
  std::size_t chunkUsed_ = 0;
  std::size_t compressedSize_ = 0;
  std::size_t uncompressedLeft_ = 0;
  bool needDictionaryReset_ = true;  // until the first chunk resets the dictionary
  bool needProperties_ = true;       // after a dictionary reset, until an LZMA chunk brings properties
};

}  // namespace xz
