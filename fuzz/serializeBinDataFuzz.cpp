// The serializer's coded blocks over arbitrary bytes. The first three bytes give the expected block
// size (little-endian, at most 64 KiB) and whether to decode or skip; the rest is the stream. A block
// that decodes must code again to the same bytes and decode back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "El/QStream/qstream.h"
#include "El/QStream/serializeBin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || size > (1u << 20)) return 0;
  const int blockSize = data[0] | (data[1] << 8);
  const bool skip = (data[2] & 1) != 0;
  QIStrStream in(data + 3, static_cast<int>(size - 3));
  SerializeBinStream loading(&in);
  if (skip) {
    loading.SkipData(blockSize, true);
    if (in.tellg() > in.GetDataSize()) std::abort();
    return 0;
  }
  std::vector<char> block(static_cast<std::size_t>(blockSize) + 1, '\x5a');
  loading.TransferData(block.data(), blockSize, true);
  if (block[static_cast<std::size_t>(blockSize)] != '\x5a') std::abort();  // nothing past the block
  if (loading.GetError() != 0) return 0;

  QOStrStream out;
  SerializeBinStream saving(&out);
  saving.TransferData(block.data(), blockSize, true);
  QIStrStream again(out.Data(), static_cast<int>(out.GetTotalSize()));
  SerializeBinStream reloading(&again);
  std::vector<char> back(static_cast<std::size_t>(blockSize));
  reloading.TransferData(back.data(), blockSize, true);
  if (reloading.GetError() != 0 || std::memcmp(back.data(), block.data(), back.size()) != 0) std::abort();
  return 0;
}
