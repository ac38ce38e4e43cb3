#pragma once
// What the decoder reads from and writes to. The decoder sees the delta as random-access bytes, the
// source as segments it asks for one window at a time, and the target as a sequence of windows. Files
// and memory buffers implement these (fileStreams.h, memoryStreams.h).

#include <cstddef>
#include <cstdint>
#include <memory>

#include "vcdiff/decodeError.h"

namespace vcdiff {

class DeltaInput {
 public:
  virtual ~DeltaInput() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `position`; the caller has checked that they lie inside Size().
  virtual bool ReadAt(std::uint64_t position, void* buffer, std::size_t size, DecodeError* error) = 0;
};

class SegmentSource {
 public:
  virtual ~SegmentSource() = default;
  // Makes the bytes [position, position + size) readable in memory until the next Acquire or
  // Release. Fails with DecodeStatus::Corrupt when the range lies outside what the source holds.
  virtual bool Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
                       DecodeError* error) = 0;
  virtual bool Release(DecodeError* error) = 0;
  // A further reader of the same bytes, usable on another thread at the same time as this one and
  // valid while this source is. Null with `error` untouched when the source serves one reader only
  // (its windows are then decoded one at a time); null with `error` set when it cannot be made.
  virtual std::unique_ptr<SegmentSource> NewReader(DecodeError* error) {
    (void)error;
    return nullptr;
  }
};

class TargetSink {
 public:
  virtual ~TargetSink() = default;
  // Appends one decoded window.
  virtual bool Write(const std::uint8_t* data, std::size_t size, DecodeError* error) = 0;
  // The target written so far, for windows whose segment comes from the earlier target.
  virtual SegmentSource* Written() = 0;
};

}  // namespace vcdiff
