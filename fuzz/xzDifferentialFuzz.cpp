// Differential fuzz target: the .xz decoder against liblzma's stream decoder on the same bytes (the
// first byte chooses our input piece size). Both must accept the same streams and decode them to the
// same bytes; streams we decline as unsupported (other filters) or that pass the memory limit are
// left out of the comparison.
#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xz/integrityCheck.h"
#include "xz/xzDecoder.h"

namespace {

constexpr std::uint64_t kMemoryLimit = 64u << 20;
constexpr std::size_t kOutputLimit = 8u << 20;
constexpr std::size_t kPieces[4] = {1, 13, 4096, SIZE_MAX};

struct Result {
  bool ok = false;
  bool skip = false;
  std::size_t size = 0;
  std::uint64_t crc = 0;
};

Result Ours(const std::uint8_t* data, std::size_t size, std::size_t piece) {
  static std::uint8_t out[1 << 16];
  xz::XzOptions options;
  options.memoryLimit = kMemoryLimit;
  xz::XzDecoder decoder(options);
  Result result;
  std::size_t inPos = 0;
  xz::XzStatus status = xz::XzStatus::Ok;
  while (status == xz::XzStatus::Ok) {
    const std::size_t inEnd = size - inPos > piece ? inPos + piece : size;
    std::size_t outPos = 0;
    status = decoder.Decode(data, inEnd, &inPos, out, sizeof out, &outPos);
    result.crc = xz::Crc64(result.crc, out, outPos);
    result.size += outPos;
    if (result.size > kOutputLimit) {
      result.skip = true;
      return result;
    }
    if (status == xz::XzStatus::Ok && inPos == size && outPos < sizeof out) status = decoder.Finish();
  }
  result.ok = status == xz::XzStatus::StreamEnd;
  result.skip = status == xz::XzStatus::Unsupported || status == xz::XzStatus::MemoryLimit ||
                status == xz::XzStatus::OutOfMemory;
  return result;
}

Result Theirs(const std::uint8_t* data, std::size_t size) {
  static std::uint8_t out[1 << 16];
  lzma_stream stream = LZMA_STREAM_INIT;
  Result result;
  if (lzma_stream_decoder(&stream, kMemoryLimit, 0) != LZMA_OK) {
    result.skip = true;
    return result;
  }
  stream.next_in = data;
  stream.avail_in = size;
  lzma_ret ret = LZMA_OK;
  while (ret == LZMA_OK) {
    stream.next_out = out;
    stream.avail_out = sizeof out;
    ret = lzma_code(&stream, LZMA_FINISH);
    const std::size_t produced = sizeof out - stream.avail_out;
    result.crc = xz::Crc64(result.crc, out, produced);
    result.size += produced;
    if (result.size > kOutputLimit) {
      result.skip = true;
      break;
    }
  }
  lzma_end(&stream);
  result.ok = ret == LZMA_STREAM_END;
  if (ret == LZMA_MEMLIMIT_ERROR || ret == LZMA_MEM_ERROR || ret == LZMA_OPTIONS_ERROR) result.skip = true;
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = kPieces[data[0] & 3];
  const Result ours = Ours(data + 1, size - 1, piece);
  const Result theirs = Theirs(data + 1, size - 1);
  if (ours.skip || theirs.skip) return 0;
  if (ours.ok != theirs.ok) __builtin_trap();
  if (ours.ok && (ours.size != theirs.size || ours.crc != theirs.crc)) __builtin_trap();
  return 0;
}
