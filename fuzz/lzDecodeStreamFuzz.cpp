// LZ decoding from an input stream over arbitrary bytes, through a stream that delivers the source in
// small pages so that every read may cross a page boundary. The first three bytes give the expected
// output size (little-endian), the page size (1 to 256) and whether to decode or to decode and discard;
// the rest is the coded stream. The stream must never be read past its end, and decoding must leave it
// exactly where the discarding walk leaves it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "El/QStream/qstream.h"
#include "El/QStream/ssCompress.h"

namespace {

// Memory read as pages of a fixed small size.
class SmallPageStream : public QIStream {
 public:
  SmallPageStream(const std::uint8_t* data, int size, int pageSize)
      : data_(data), size_(size), pageSize_(pageSize) {}

  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>&, std::int64_t position) override {
    const std::int64_t start = std::min<std::int64_t>(position, size_) / pageSize_ * pageSize_;
    const int valid = int(std::min<std::int64_t>(pageSize_, size_ - start));
    if (valid <= 0) {
      page = StreamPage::Empty(position);
      return;
    }
    page.buffer = new QIStreamBufferTemp(data_ + start, valid);
    page.start = start;
    page.size = valid;
  }
  std::int64_t GetDataSize() const override { return size_; }

 private:
  const std::uint8_t* data_;
  int size_;
  int pageSize_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || size > (1u << 20)) return 0;
  const std::int64_t expected = data[0] | (data[1] << 8);
  const int pageSize = (data[2] >> 1) + 1;
  const bool discard = (data[2] & 1) != 0;
  const std::vector<std::uint8_t> coded(data + 3, data + size);
  auto work = std::make_unique<SSCompress>();

  SmallPageStream in(coded.data(), int(coded.size()), pageSize);
  if (discard) {
    work->DecodeDiscard(expected, in);
  } else {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(expected));
    if (work->Decode(out.data(), expected, in)) {
      QIStrStream whole(coded.data(), int(coded.size()));
      if (!work->DecodeDiscard(expected, whole) || whole.tellg() != in.tellg()) std::abort();
    }
  }
  if (in.tellg() > std::int64_t(coded.size())) std::abort();
  return 0;
}
