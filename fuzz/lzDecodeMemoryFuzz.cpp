// LZ decoding from a block of memory over arbitrary bytes. The first two bytes give the expected
// output size (little-endian); the rest is the coded stream, handed over in a block of exactly its own
// size so that any read past it is caught. The memory decoder (with its unchecked fast path) must agree
// with the stream decoder byte for byte, and a block that decodes must code and decode back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "El/QStream/qstream.h"
#include "El/QStream/ssCompress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  const std::size_t expected = std::size_t(data[0] | (data[1] << 8));
  const std::vector<std::uint8_t> coded(data + 2, data + size);
  auto work = std::make_unique<SSCompress>();

  std::vector<std::uint8_t> fromMemory(expected);
  const bool memoryOk = work->Decode(fromMemory.data(), std::int64_t(expected), coded.data(), coded.size());

  std::vector<std::uint8_t> fromStream(expected);
  QIStrStream in(coded.data(), int(coded.size()));
  const bool streamOk = work->Decode(fromStream.data(), std::int64_t(expected), in);
  if (memoryOk != streamOk || fromMemory != fromStream) std::abort();
  if (in.tellg() > std::int64_t(coded.size())) std::abort();
  if (!memoryOk) return 0;

  QIStrStream again(coded.data(), int(coded.size()));
  if (!work->DecodeDiscard(std::int64_t(expected), again)) std::abort();

  QOStrStream out;
  work->Encode(out, fromMemory.data(), fromMemory.size());
  std::vector<std::uint8_t> back(expected);
  if (!work->Decode(back.data(), std::int64_t(expected), out.Data(), std::size_t(out.GetTotalSize()))) {
    std::abort();
  }
  if (back != fromMemory) std::abort();
  return 0;
}
