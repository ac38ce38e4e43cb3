#pragma once
// How a decode may use the machine.

namespace vcdiff {

// The most windows decoded at once, whatever the options ask.
constexpr int kMaxDecoderThreads = 16;

struct DecoderOptions {
  // Windows decoded at once on worker threads: 0 for one per processor core, 1 to decode every window
  // on the calling thread. Windows that copy from earlier output are always decoded in order.
  int threads = 0;
};

// The number of windows a decode with `options` works on at once (1 or more).
int DecoderThreadCount(const DecoderOptions& options);

}  // namespace vcdiff
