#pragma once
// The decoder's inputs and output over memory: used for embedded code tables, tests and fuzzing.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vcdiff/decoderStreams.h"

namespace vcdiff {

class MemoryDeltaInput : public DeltaInput {
 public:
  MemoryDeltaInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t position, void* buffer, std::size_t size, DecodeError* error) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

class MemorySegmentSource : public SegmentSource {
 public:
  MemorySegmentSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
               DecodeError* error) override;
  bool Release(DecodeError*) override { return true; }
  std::unique_ptr<SegmentSource> NewReader(DecodeError* error) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// Collects the target in a vector, refusing to grow past `limit` bytes.
class MemoryTargetSink : public TargetSink {
 public:
  explicit MemoryTargetSink(std::size_t limit) : limit_(limit), written_(this) {}
  bool Write(const std::uint8_t* data, std::size_t size, DecodeError* error) override;
  SegmentSource* Written() override { return &written_; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  class WrittenSource : public SegmentSource {
   public:
    explicit WrittenSource(MemoryTargetSink* sink) : sink_(sink) {}
    bool Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
                 DecodeError* error) override;
    bool Release(DecodeError*) override { return true; }

   private:
    MemoryTargetSink* sink_;
  };

  std::size_t limit_;
  std::vector<std::uint8_t> bytes_;
  WrittenSource written_;
};

// The range check every segment source makes: [position, position + size) inside `available` bytes.
bool SegmentInside(std::uint64_t position, std::uint64_t size, std::uint64_t available, const char* what,
                   DecodeError* error);

}  // namespace vcdiff
