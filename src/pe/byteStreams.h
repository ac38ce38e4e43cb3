#pragma once
// Where the writer takes entry bytes from and where it puts the image it writes. Payload entries can
// be hundreds of MiB, so both are streams: the writer asks a source for one piece at a time and hands
// the sink one piece at a time, in file order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/byteView.h"

namespace pe {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset` (inside Size()). False, with the reason in *error, when the
  // bytes cannot be had.
  virtual bool Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends `size` bytes. False, with the reason in *error, when they could not all be stored.
  virtual bool Write(const void* data, std::size_t size, std::string* error) = 0;
  // Overwrites bytes written earlier at [offset, offset + size); the writer uses it once, for the
  // header checksum, which is known only at the end.
  virtual bool Rewrite(std::uint64_t offset, const void* data, std::size_t size, std::string* error) = 0;
};

// Bytes already in memory (the caller keeps them alive).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(ByteView bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size; }
  bool Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) override;

 private:
  ByteView bytes_;
};

// Collects the written image in memory (small images and tests).
class MemorySink : public ByteSink {
 public:
  bool Write(const void* data, std::size_t size, std::string* error) override;
  bool Rewrite(std::uint64_t offset, const void* data, std::size_t size, std::string* error) override;
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace pe
