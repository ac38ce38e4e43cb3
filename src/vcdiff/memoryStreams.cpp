#include "vcdiff/memoryStreams.h"

#include <cstring>
#include <new>

namespace vcdiff {

bool SegmentInside(std::uint64_t position, std::uint64_t size, std::uint64_t available, const char* what,
                   DecodeError* error) {
  if (position > available || size > available - position) {
    return Fail(error, DecodeStatus::Corrupt,
                "segment at %llu of %llu bytes lies outside the %s (%llu bytes)",
                static_cast<unsigned long long>(position), static_cast<unsigned long long>(size), what,
                static_cast<unsigned long long>(available));
  }
  return true;
}

bool MemoryDeltaInput::ReadAt(std::uint64_t position, void* buffer, std::size_t size, DecodeError* error) {
  if (!SegmentInside(position, size, size_, "delta", error)) return false;
  if (size > 0) std::memcpy(buffer, data_ + position, size);
  return true;
}

bool MemorySegmentSource::Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
                                  DecodeError* error) {
  if (!SegmentInside(position, size, size_, "source", error)) return false;
  *data = data_ + position;
  return true;
}

std::unique_ptr<SegmentSource> MemorySegmentSource::NewReader(DecodeError* error) {
  std::unique_ptr<SegmentSource> reader(new (std::nothrow) MemorySegmentSource(data_, size_));
  if (!reader) Fail(error, DecodeStatus::OutOfMemory, "out of memory for a reader of the source");
  return reader;
}

bool MemoryTargetSink::Write(const std::uint8_t* data, std::size_t size, DecodeError* error) {
  if (size > limit_ - bytes_.size()) {
    return Fail(error, DecodeStatus::Corrupt, "the target grows past its limit of %llu bytes",
                static_cast<unsigned long long>(limit_));
  }
  bytes_.insert(bytes_.end(), data, data + size);
  return true;
}

bool MemoryTargetSink::WrittenSource::Acquire(std::uint64_t position, std::uint64_t size,
                                              const std::uint8_t** data, DecodeError* error) {
  if (!SegmentInside(position, size, sink_->bytes_.size(), "target written so far", error)) return false;
  *data = sink_->bytes_.data() + position;
  return true;
}

}  // namespace vcdiff
