// Fuzz target of the VCDIFF decoder. The input is a source and a delta: four bytes (little-endian) give
// the source's size, that many bytes follow (fewer if the input ends), and the rest is the delta. Windows
// are decoded on worker threads, three at once, so that the parallel path sees the same inputs.
#include <cstddef>
#include <cstdint>

#include "vcdiff/deltaDecoder.h"
#include "vcdiff/memoryStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::size_t sourceSize = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::size_t>(data[3]) << 24);
  data += 4;
  size -= 4;
  if (sourceSize > size) sourceSize = size;
  vcdiff::MemorySegmentSource source(data, sourceSize);
  vcdiff::MemoryDeltaInput delta(data + sourceSize, size - sourceSize);
  vcdiff::MemoryTargetSink target(16u << 20);
  vcdiff::DecoderOptions options;
  options.threads = 3;
  vcdiff::DeltaDecoder decoder(&delta, &source, &target, options);
  vcdiff::DecodeError error;
  if (!decoder.Decode(&error) && error.text[0] == 0) __builtin_trap();  // every failure says why
  return 0;
}
