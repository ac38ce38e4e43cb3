#pragma once
// Stream buffers and pages: what a byte source hands to an input stream. A buffer is a counted block of
// bytes; a page names a buffer, where its first byte lies in the source and how many bytes are valid.

#include <cstdint>

#include "Es/Containers/refCount.h"

// A block from the program allocator, owned by the buffer. Derived kinds own their memory differently
// and free it in their own destructor (leaving the pointer null for this one).
class QIStreamBuffer : public RefCount {
 public:
  QIStreamBuffer() = default;
  // A block of `size` bytes; when the allocator refuses, the buffer is empty (size 0).
  explicit QIStreamBuffer(int size);
  ~QIStreamBuffer() override;
  QIStreamBuffer(const QIStreamBuffer&) = delete;
  QIStreamBuffer& operator=(const QIStreamBuffer&) = delete;

  const char* Data() const { return data_; }
  char* Data() { return data_; }
  int Size() const { return size_; }

  // Resizes a block of this class (not of the derived kinds): the same size does nothing; otherwise a
  // new block is taken and the first `keep` bytes (at most what both blocks hold) are copied over.
  // False, with the old block kept, when the allocator refuses.
  bool Realloc(int size, int keep = 0);

 protected:
  char* data_ = nullptr;
  int size_ = 0;
};

// Memory owned by somebody else; never freed here. It must outlive the buffer.
class QIStreamBufferTemp : public QIStreamBuffer {
 public:
  QIStreamBufferTemp(const void* data, int size);
  ~QIStreamBufferTemp() override { data_ = nullptr; }
};

// A block of `capacity` bytes from the C heap (the file server's page size), of which `valid` are
// valid; size 0 when the heap refused it.
class QIStreamBufferPage : public QIStreamBuffer {
 public:
  QIStreamBufferPage(int capacity, int valid);
  ~QIStreamBufferPage() override;
  void SetValid(int valid) { size_ = valid < 0 ? 0 : valid > capacity_ ? capacity_ : valid; }
  int Capacity() const { return capacity_; }

 private:
  int capacity_ = 0;
};

// What a byte source delivers for a position. No buffer (or size 0) is the empty page: no data there.
struct StreamPage {
  Ref<QIStreamBuffer> buffer;
  std::int64_t start = 0;  // position in the source of the buffer's first byte
  int size = 0;            // valid bytes in the buffer

  static StreamPage Empty(std::int64_t at) {
    StreamPage page;
    page.start = at;
    return page;
  }
};
