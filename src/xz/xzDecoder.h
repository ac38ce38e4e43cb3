#pragma once
// A streaming decoder of the .xz container with LZMA2 data: stream header and footer, blocks with
// their headers, padding and integrity checks (CRC-32, CRC-64 and SHA-256 verified; the other check
// ids stepped over), and the index, which must describe the blocks exactly.
//
// Input and output come in pieces of any size, as the caller has them. Memory stays bounded: a
// dictionary above the memory limit is refused, and the buffer grows with the data up to it.
// Nothing here throws, reads or writes outside the buffers given, or loops without progress.
//
//   xz::XzDecoder decoder;
//   status = decoder.Decode(in, inSize, &inPos, out, outSize, &outPos);   // as often as needed
//   status = decoder.Finish();   // when the input has ended: StreamEnd if it was all there

#include <cstddef>
#include <cstdint>

#include "xz/integrityCheck.h"
#include "xz/lzma2Decoder.h"
#include "xz/xzStatus.h"

namespace xz {

constexpr std::uint64_t kDefaultMemoryLimit = 256u << 20;

struct XzOptions {
  std::uint64_t memoryLimit = kDefaultMemoryLimit;
  // Accept further streams after the first, with stream padding (zero bytes in fours) between and
  // after them; without it decoding stops after the first stream's footer.
  bool concatenated = false;
};

class XzDecoder {
 public:
  explicit XzDecoder(const XzOptions& options = XzOptions());

  // Consumes input from in[*inPos, inSize) and writes output to out[*outPos, outSize), advancing
  // both. Returns Ok while the stream goes on (it stops only when the input is used up or the
  // output room is full), StreamEnd once the stream has ended (bytes after it are left unread), or
  // an error, which every later call returns again until Reset.
  XzStatus Decode(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::uint8_t* out,
                  std::size_t outSize, std::size_t* outPos);
  // The input has ended: StreamEnd when the stream was complete, else the error (a truncated stream
  // is Corrupt).
  XzStatus Finish();
  // Ready for a new stream, with the same options.
  void Reset();

  const XzError& Error() const { return error_; }
  // The check type the stream header declared (valid once the header has been read).
  unsigned CheckType() const { return checkType_; }

 private:
  enum class Step {
    StreamHeader, BlockStart, BlockHeader, BlockData, BlockPadding, BlockCheck,
    IndexCount, IndexUnpadded, IndexUncompressed, IndexPadding, IndexCrc, StreamFooter, StreamPadding, End, Failed,
  };
  // Totals of the blocks as decoded, and of the records the index lists; they must agree.
  struct BlockTally {
    std::uint64_t count = 0;
    std::uint64_t unpadded = 0;
    std::uint64_t uncompressed = 0;
    std::uint64_t hash = 0;  // CRC-64 over each block's two sizes, in order
    bool Add(std::uint64_t unpaddedSize, std::uint64_t uncompressedSize);
    bool operator==(const BlockTally& other) const {
      return count == other.count && unpadded == other.unpadded && uncompressed == other.uncompressed &&
             hash == other.hash;
    }
  };

  XzStatus Failed(XzStatus status, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  // Gathers up to `size` bytes into gather_; true once they are all there.
  bool Gather(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::size_t size);
  // Reads one variable-length integer of the index byte by byte; Ok with *done once it is complete.
  XzStatus IndexInteger(std::uint8_t byte, bool* done);
  void IndexByte(std::uint8_t byte);
  XzStatus ParseStreamHeader();
  XzStatus ParseBlockHeader();
  XzStatus ParseStreamFooter();
  XzStatus BlockData(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::uint8_t* out,
                     std::size_t outSize, std::size_t* outPos);

  XzOptions options_;
  XzError error_;
  Step step_ = Step::StreamHeader;
  std::uint8_t gather_[1024];  // a header, footer or check being gathered
  std::size_t gathered_ = 0;
  std::uint8_t streamFlags_[2] = {};
  unsigned checkType_ = 0;
  Lzma2Decoder lzma2_;
  BlockCheck check_;
  // The block being decoded.
  std::uint64_t headerSize_ = 0;
  std::uint64_t declaredCompressed_ = 0;    // UINT64_MAX when the header leaves it out
  std::uint64_t declaredUncompressed_ = 0;  // likewise
  std::uint64_t compressed_ = 0;  // LZMA2 bytes, without the block padding
  std::uint64_t padding_ = 0;
  std::uint64_t uncompressed_ = 0;
  BlockTally blocks_;
  // The index being read.
  BlockTally records_;
  std::uint64_t indexSize_ = 0;
  std::uint32_t indexCrc_ = 0;
  std::uint64_t recordsLeft_ = 0;
  std::uint64_t integer_ = 0;
  unsigned integerBytes_ = 0;
  std::uint64_t recordUnpadded_ = 0;
  // Zero bytes after a stream (concatenated streams only).
  std::uint64_t streamPadding_ = 0;
};

}  // namespace xz
