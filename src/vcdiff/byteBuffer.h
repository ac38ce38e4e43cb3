#pragma once
// A reusable, uninitialised byte buffer whose allocation failure is a result, not an exception.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace vcdiff {

class ByteBuffer {
 public:
  // Makes room for `size` bytes; the contents are not kept. False when memory runs out.
  bool Reserve(std::size_t size) {
    if (size <= capacity_) return true;
    data_.reset();
    capacity_ = 0;
    data_.reset(new (std::nothrow) std::uint8_t[size]);
    if (!data_) return false;
    capacity_ = size;
    return true;
  }
  std::uint8_t* Data() { return data_.get(); }
  std::size_t Capacity() const { return capacity_; }

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
};

}  // namespace vcdiff
