#include "El/QStream/streamBuffer.h"

#include <cstdlib>
#include <cstring>

#include "Es/Memory/memAlloc.h"

QIStreamBuffer::QIStreamBuffer(int size) {
  if (size <= 0) return;
  data_ = static_cast<char*>(GMemFunctions->New(static_cast<std::size_t>(size)));
  if (data_) size_ = size;
}

QIStreamBuffer::~QIStreamBuffer() {
  if (data_) GMemFunctions->Delete(data_);
}

bool QIStreamBuffer::Realloc(int size, int keep) {
  if (size == size_) return true;
  if (size < 0) size = 0;
  char* block = nullptr;
  if (size > 0) {
    block = static_cast<char*>(GMemFunctions->New(static_cast<std::size_t>(size)));
    if (!block) return false;
  }
  if (keep > size) keep = size;
  if (keep > size_) keep = size_;
  if (keep > 0) std::memcpy(block, data_, static_cast<std::size_t>(keep));
  if (data_) GMemFunctions->Delete(data_);
  data_ = block;
  size_ = size;
  return true;
}

QIStreamBufferTemp::QIStreamBufferTemp(const void* data, int size) {
  // The memory is only read through this buffer; the pointer is stored writable for the base class.
  data_ = static_cast<char*>(const_cast<void*>(data));
  size_ = data && size > 0 ? size : 0;
}

QIStreamBufferPage::QIStreamBufferPage(int capacity, int valid) {
  if (capacity <= 0) return;
  data_ = static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity)));
  if (!data_) return;
  capacity_ = capacity;
  SetValid(valid);
}

QIStreamBufferPage::~QIStreamBufferPage() {
  std::free(data_);
  data_ = nullptr;
}
