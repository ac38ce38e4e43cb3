// Input streams over paged byte sources, driven by arbitrary operations and checked against a plain
// model of the bytes. The first bytes choose the page size of the source (pages aligned to it, as disk
// pages are) and a window over it; the rest are both the source's bytes and the operations (read,
// get, unget, seeks in all three directions). Every byte delivered must be the model's byte at that
// position, and positions, counts and the end flag must agree with the model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "El/QStream/qstream.h"

namespace {

// Memory read in pages of `pageSize` bytes aligned to multiples of it, each copied into a new buffer.
class AlignedPages : public IFileBuffer {
 public:
  AlignedPages(const std::uint8_t* data, std::int64_t size, int pageSize)
      : data_(data), size_(size), pageSize_(pageSize) {}
  bool IsError() const override { return false; }
  const char* GetData() override { return reinterpret_cast<const char*>(data_); }
  std::int64_t GetSize() const override { return size_; }
  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override {
    previous.Free();
    const std::int64_t clipped = position < 0 ? 0 : position > size_ ? size_ : position;
    const std::int64_t start = clipped - clipped % pageSize_;
    const std::int64_t count = size_ - start < pageSize_ ? size_ - start : pageSize_;
    if (count <= 0) {
      page = StreamPage::Empty(start);
      return;
    }
    page.buffer = new QIStreamBuffer(static_cast<int>(count));
    std::memcpy(page.buffer->Data(), data_ + start, static_cast<std::size_t>(count));
    page.start = start;
    page.size = static_cast<int>(count);
  }
  bool PreloadBuffer(std::int64_t, std::int64_t) override { return true; }

 private:
  const std::uint8_t* data_;
  std::int64_t size_;
  int pageSize_;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > (1u << 16)) return 0;
  const int pageSize = 1 + data[0] % 64;
  const std::int64_t total = static_cast<std::int64_t>(size);
  const std::int64_t windowStart = data[1] % (total + 8);
  const std::int64_t windowSize = data[2] == 255 ? -2 : data[2] * 3;
  Ref<IFileBuffer> whole = new AlignedPages(data, total, pageSize);
  Ref<IFileBuffer> window = new FileBufferSub(whole, windowStart, windowSize);
  const std::int64_t start = windowStart < total ? windowStart : total;
  const std::int64_t length = window->GetSize();
  Check(length >= 0 && start + length <= total);
  Check(windowSize < 0 ? length == total - start : length <= windowSize);

  QIStreamDataSource in;
  in.AttachSource(window);
  std::int64_t position = 0;
  std::vector<char> out(300);
  for (std::size_t at = 3; at + 1 < size && at < 3 + 2 * 400; at += 2) {
    const int operation = data[at] % 6;
    const int argument = data[at + 1];
    switch (operation) {
      case 0: {
        const int delivered = in.read(out.data(), argument);
        const std::int64_t expected = length - position < argument ? length - position : argument;
        Check(delivered == expected);
        Check(std::memcmp(out.data(), data + start + position, static_cast<std::size_t>(delivered)) == 0);
        Check(delivered == argument || in.eof());
        position += delivered;
        break;
      }
      case 1: {
        const int c = in.get();
        if (position < length) {
          Check(c == data[start + position]);
          ++position;
        } else {
          Check(c == -1 && in.eof());
        }
        break;
      }
      case 2:
        in.unget();
        Check(in.tellg() == position || in.tellg() == position - 1);
        position = in.tellg();
        Check(position >= 0);
        break;
      default: {
        const int direction = operation - 3;
        const std::int64_t offset = argument - 128;
        const std::int64_t base = direction == 0 ? 0 : direction == 1 ? position : length;
        std::int64_t target = base + offset;
        target = target < 0 ? 0 : target > length ? length : target;
        in.SeekG(offset, direction);
        position = target;
        break;
      }
    }
    Check(in.tellg() == position);
  }
  return 0;
}
