#pragma once
// Runs the decoder over a delta and a source held in strings.

#include <cstdint>
#include <string>

#include "vcdiff/deltaDecoder.h"
#include "vcdiff/memoryStreams.h"

namespace vcdifftest {

struct Decoded {
  bool ok = false;
  vcdiff::DecodeError error;
  std::string target;
};

// `threads` as in vcdiff::DecoderOptions (0: one per core).
inline Decoded DecodeInMemory(const std::string& delta, const std::string& source, bool withSource = true,
                              int threads = 0) {
  vcdiff::MemoryDeltaInput input(reinterpret_cast<const std::uint8_t*>(delta.data()), delta.size());
  vcdiff::MemorySegmentSource segments(reinterpret_cast<const std::uint8_t*>(source.data()), source.size());
  vcdiff::MemoryTargetSink sink(64u << 20);
  vcdiff::DecoderOptions options;
  options.threads = threads;
  vcdiff::DeltaDecoder decoder(&input, withSource ? &segments : nullptr, &sink, options);
  Decoded result;
  result.ok = decoder.Decode(&result.error);
  result.target.assign(sink.Bytes().begin(), sink.Bytes().end());
  return result;
}

}  // namespace vcdifftest
