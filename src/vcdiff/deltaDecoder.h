#pragma once
// Decodes a whole delta: the header (magic, secondary compressor, code table, application header)
// and then its windows, each checked and written in order. Windows that copy from the source and from
// themselves are decoded on worker threads, several at once, while this thread reads the next windows
// and writes the finished ones; a window that copies from earlier output waits until that output is
// written. Memory stays at a few windows' encodings, expanded sections and targets (two more than the
// threads), whatever the size of the files, and the output is the same whatever the thread count.

#include <cstdint>
#include <memory>
#include <vector>

#include "vcdiff/addressCache.h"
#include "vcdiff/byteBuffer.h"
#include "vcdiff/codeTable.h"
#include "vcdiff/decodeError.h"
#include "vcdiff/decoderOptions.h"
#include "vcdiff/decoderStreams.h"
#include "vcdiff/secondaryDecompressor.h"
#include "vcdiff/windowSchedule.h"

namespace vcdiff {

// The largest target window and expanded section accepted; larger declarations are treated as damage
// rather than allocated.
constexpr std::uint64_t kMaxWindowSize = 64u << 20;
// The largest encoded window (its sections as stored in the delta).
constexpr std::uint64_t kMaxWindowEncodingSize = 2 * kMaxWindowSize;

class DeltaDecoder {
 public:
  // `source` may be null for deltas that never copy from a source file.
  DeltaDecoder(DeltaInput* delta, SegmentSource* source, TargetSink* target,
               const DecoderOptions& options = DecoderOptions());
  ~DeltaDecoder();

  bool Decode(DecodeError* error);

 private:
  struct WindowJob;
  friend struct WorkerStart;

  bool ReadHeader(DecodeError* error);
  bool ReadCodeTable(std::uint64_t size, DecodeError* error);
  bool DecodeInOrder(DecodeError* error);
  bool DecodeInParallel(int threads, DecodeError* error);
  // Makes `count` jobs; with `readers`, each with its own reader of the source.
  bool MakeJobs(std::size_t count, bool readers, DecodeError* error);
  // Reads the next window's header and encoding into `job` (the reading thread's part).
  bool ReadWindow(WindowJob* job, DecodeError* error);
  bool ReadWindowHeader(WindowJob* job, DecodeError* error);
  bool ReadWindowBody(WindowJob* job, DecodeError* error);
  // Expands the job's sections, runs its instructions and checks its checksum (any thread); with a
  // schedule, the expansions take their turns in it.
  bool DecodeJob(WindowJob* job, WindowSchedule* schedule, DecodeError* error);
  bool ExpandSections(WindowJob* job, WindowSchedule* schedule, DecodeError* error);
  bool RunInstructions(WindowJob* job, DecodeError* error);
  void RunWorker(WindowSchedule* schedule);
  // Reads up to `size` bytes at the current position (fewer at the end of the delta).
  bool Peek(std::uint8_t* buffer, std::size_t size, std::size_t* got, DecodeError* error);

  DeltaInput* delta_;
  SegmentSource* source_;
  TargetSink* target_;
  DecoderOptions options_;
  bool allowCodeTable_ = true;  // a code table's own delta may not carry another code table

  std::uint64_t position_ = 0;  // in the delta
  std::uint64_t window_ = 0;    // number of the window being decoded
  bool compressed_ = false;     // the header named a secondary compressor
  CodeTable table_;
  SecondaryDecompressor secondary_;
  std::vector<std::unique_ptr<WindowJob>> jobs_;  // window n uses jobs_[n % size]
};

}  // namespace vcdiff
