// Fuzz target of the .xz decoder. The first input byte chooses how the rest is handed over (input
// and output piece sizes, concatenated streams, or the bytes as a raw LZMA2 stream with a dictionary
// size); the rest is the stream. Output goes round a fixed buffer and stops after 8 MiB.
#include <cstddef>
#include <cstdint>

#include "xz/lzma2Decoder.h"
#include "xz/xzDecoder.h"

namespace {

constexpr std::size_t kOutputBuffer = 1 << 16;
constexpr std::size_t kOutputLimit = 8u << 20;
constexpr std::size_t kPieces[8] = {1, 2, 3, 7, 64, 4096, 65536, SIZE_MAX};

std::uint8_t output[kOutputBuffer];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  ++data;
  --size;
  const std::size_t inPiece = kPieces[mode & 7];
  const std::size_t outPiece = kPieces[(mode >> 3) & 7];
  const bool raw = mode & 0x40;
  xz::XzOptions options;
  options.concatenated = mode & 0x80;
  options.memoryLimit = 64u << 20;
  xz::XzDecoder decoder(options);
  xz::Lzma2Decoder lzma2;
  xz::XzError error;
  xz::XzStatus status = xz::XzStatus::Ok;
  if (raw) status = lzma2.Start(xz::Lzma2DictionarySize(mode & 0x3F) ? xz::Lzma2DictionarySize(mode & 0x3F) : 4096,
                                options.memoryLimit, &error);
  std::size_t inPos = 0;
  std::size_t total = 0;
  while (status == xz::XzStatus::Ok && total < kOutputLimit) {
    const std::size_t inEnd = size - inPos > inPiece ? inPos + inPiece : size;
    const std::size_t room = outPiece < kOutputBuffer ? outPiece : kOutputBuffer;
    std::size_t outPos = 0;
    const std::size_t inBefore = inPos;
    status = raw ? lzma2.Decode(data, inEnd, &inPos, output, room, &outPos, &error)
                 : decoder.Decode(data, inEnd, &inPos, output, room, &outPos);
    if (inPos > inEnd || outPos > room) __builtin_trap();
    total += outPos;
    if (status != xz::XzStatus::Ok) break;
    if (inPos == size && outPos < room) {
      if (!raw) status = decoder.Finish();
      break;
    }
    // The decoder stops only when the input is used up or the output room is full.
    if (inPos < inEnd && outPos < room) __builtin_trap();
    if (inPos == inBefore && outPos == 0 && inEnd == size) __builtin_trap();
  }
  // Every failure says why.
  if (status != xz::XzStatus::Ok && status != xz::XzStatus::StreamEnd) {
    if ((raw ? error.text : decoder.Error().text)[0] == 0) __builtin_trap();
  }
  return 0;
}
