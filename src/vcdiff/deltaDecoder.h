#pragma once
// Decodes a whole delta: the header (magic, secondary compressor, code table, application header)
// and then window after window, each checked and written before the next is read. Memory stays at
// one window's encoding, its expanded sections and its target, whatever the size of the files.

#include <cstdint>

#include "vcdiff/addressCache.h"
#include "vcdiff/byteBuffer.h"
#include "vcdiff/codeTable.h"
#include "vcdiff/decodeError.h"
#include "vcdiff/decoderStreams.h"
#include "vcdiff/secondaryDecompressor.h"

namespace vcdiff {

// The largest target window and expanded section accepted; larger declarations are treated as damage
// rather than allocated.
constexpr std::uint64_t kMaxWindowSize = 64u << 20;
// The largest encoded window (its sections as stored in the delta).
constexpr std::uint64_t kMaxWindowEncodingSize = 2 * kMaxWindowSize;

class DeltaDecoder {
 public:
  // `source` may be null for deltas that never copy from a source file.
  DeltaDecoder(DeltaInput* delta, SegmentSource* source, TargetSink* target);

  bool Decode(DecodeError* error);

 private:
  struct WindowHeader;
  struct WindowBody;

  bool ReadHeader(DecodeError* error);
  bool ReadCodeTable(std::uint64_t size, DecodeError* error);
  bool DecodeWindow(DecodeError* error);
  bool ReadWindowHeader(WindowHeader* header, DecodeError* error);
  bool ReadWindowBody(const WindowHeader& header, WindowBody* body, DecodeError* error);
  bool RunInstructions(const WindowHeader& header, const WindowBody& body, DecodeError* error);
  // Reads up to `size` bytes at the current position (fewer at the end of the delta).
  bool Peek(std::uint8_t* buffer, std::size_t size, std::size_t* got, DecodeError* error);

  DeltaInput* delta_;
  SegmentSource* source_;
  TargetSink* target_;
  bool allowCodeTable_ = true;  // a code table's own delta may not carry another code table

  std::uint64_t position_ = 0;  // in the delta
  std::uint64_t window_ = 0;    // number of the window being decoded
  bool compressed_ = false;     // the header named a secondary compressor
  CodeTable table_;
  AddressCache cache_;
  SecondaryDecompressor secondary_;
  ByteBuffer encoding_;
  ByteBuffer expanded_[3];
  ByteBuffer targetWindow_;
};

}  // namespace vcdiff
