#include "El/QStream/fileBuffer.h"

#include <cstdint>
#include <cstring>

#include "El/Common/appFrame.h"
#include "Es/Memory/memAlloc.h"

namespace {

constexpr int kMemoryPageSize = 4096;  // bytes copied per page from a source held in memory
constexpr std::int64_t kRequestUnitMin = 0x8000;

std::int64_t Min(std::int64_t a, std::int64_t b) { return a < b ? a : b; }
std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high) {
  return value < low ? low : value > high ? high : value;
}

}  // namespace

// ---- IFileBuffer: the shared parts -----------------------------------------------------------------

void IFileBuffer::ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) {
  previous.Free();
  const std::int64_t size = GetSize();
  const char* data = position >= 0 && position < size ? GetData() : nullptr;
  if (!data) {
    page = StreamPage::Empty(position);
    return;
  }
  const int count = static_cast<int>(Min(size - position, kMemoryPageSize));
  Ref<QIStreamBuffer> buffer = new QIStreamBuffer(count);
  if (buffer->Size() < count) {
    page = StreamPage::Empty(position);
    return;
  }
  std::memcpy(buffer->Data(), data + position, static_cast<std::size_t>(count));
  page.buffer = buffer;
  page.start = position;
  page.size = count;
}

void IFileBuffer::PreRead(std::int64_t, std::int64_t) {}

std::int64_t IFileBuffer::Read(void* destination, std::int64_t position, std::int64_t size) {
  auto* out = static_cast<char*>(destination);
  std::int64_t copied = 0;
  StreamPage page;
  while (copied < size) {
    ReadBuffer(page, page.buffer, position);
    // Only a page that really holds `position` is used; anything else ends the read.
    if (!page.buffer || page.start > position || page.size > page.buffer->Size()) break;
    const std::int64_t inPage = page.start + page.size - position;
    if (inPage <= 0) break;
    const std::int64_t count = Min(size - copied, inPage);
    std::memcpy(out + copied, page.buffer->Data() + (position - page.start), static_cast<std::size_t>(count));
    copied += count;
    position += count;
  }
  return copied;
}

platform::FileHandle IFileBuffer::GetHandle() const { return 0; }

// ---- FileBufferMemory ------------------------------------------------------------------------------

FileBufferMemory::FileBufferMemory(std::int64_t size) { Allocate(size); }

FileBufferMemory::FileBufferMemory(const void* data, std::int64_t size) {
  // An empty block has no memory to copy into (and memcpy must not be handed a null pointer).
  if (data && Allocate(size) && size_ > 0) std::memcpy(data_, data, static_cast<std::size_t>(size_));
}

FileBufferMemory::~FileBufferMemory() { FreeBlock(); }

bool FileBufferMemory::Allocate(std::int64_t size) {
  FreeBlock();
  if (size <= 0) return true;
  if (static_cast<std::uint64_t>(size) > SIZE_MAX) return false;
  data_ = static_cast<char*>(GMemFunctions->New(static_cast<std::size_t>(size)));
  if (!data_) return false;
  size_ = size;
  return true;
}

void FileBufferMemory::FreeBlock() {
  if (data_) GMemFunctions->Delete(data_);
  data_ = nullptr;
  size_ = 0;
}

// ---- FileBufferLoaded ------------------------------------------------------------------------------

FileBufferLoaded::FileBufferLoaded(const char* name, std::int64_t start, std::int64_t size) {
  QIFileServerFunctions* server = GFileServerFunctions;
  platform::FileSystem* fileSystem = platform::CurrentFileSystem();
  const platform::FileHandle handle = server->OpenRead(name);
  if (!server->IsValid(handle)) {
    ReadErrorMessage("File '%s' read error %x", name, fileSystem->LastError());
    return;
  }
  const std::int64_t fileSize = server->FileSize(handle);
  if (start < 0) start = 0;
  if (fileSize > start) {
    const std::int64_t wanted = size < 0 ? fileSize - start : Min(fileSize - start, size);
    if (!Allocate(wanted)) {
      ReadErrorMessage("File '%s' read error %x", name, 0);
    } else {
      const platform::FileHandle file = server->SystemHandle(handle);
      std::int64_t got = 0;
      while (got < wanted) {
        const auto chunk = static_cast<std::uint32_t>(Min(wanted - got, 1 << 30));
        std::uint32_t arrived = 0;
        if (!fileSystem->ReadAt(file, static_cast<std::uint64_t>(start + got), Data() + got, chunk, &arrived) ||
            arrived == 0) {
          break;
        }
        got += arrived;
      }
      if (got < wanted) {
        ReadErrorMessage("File '%s' read error %x", name, fileSystem->LastError());
        FreeBlock();
      }
    }
  }
  server->CloseRead(name, handle);
}

// ---- FileBufferLoading -----------------------------------------------------------------------------

namespace {

// Counts the requests that have been served, for PreloadBuffer.
class RequestCounter : public IFileRequestCompletion {
 public:
  void RequestDone() override { ++done; }
  int done = 0;
};

}  // namespace

FileBufferLoading::FileBufferLoading(const char* name) : name_(name), server_(GFileServerFunctions) {
  const platform::FileHandle handle = server_->OpenRead(name);
  if (!server_->IsValid(handle)) return;
  handle_ = handle;
  size_ = server_->FileSize(handle);
  if (size_ < 0) size_ = 0;
}

FileBufferLoading::~FileBufferLoading() {
  if (server_->IsValid(handle_)) server_->CloseRead(name_, handle_);
}

bool FileBufferLoading::IsError() const { return !server_->IsValid(handle_); }

const char* FileBufferLoading::GetData() {
  ReportPositionError("qstream", __LINE__, "Cannot return data");
  return nullptr;
}

void FileBufferLoading::ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) {
  previous.Free();
  const int pageSize = server_->PageSize();
  const std::int64_t clipped = Clamp(position, 0, size_);
  const std::int64_t aligned = pageSize > 0 ? clipped - clipped % pageSize : clipped;
  if (pageSize <= 0 || aligned >= size_) {
    page = StreamPage::Empty(aligned);
    return;
  }
  server_->ReadPage(page, handle_, aligned, static_cast<int>(Min(size_ - aligned, pageSize)));
}

int FileBufferLoading::Request(IFileRequestCompletion* done, std::int64_t position, std::int64_t size) {
  position = Clamp(position, 0, size_);
  size = Clamp(size, 0, size_ - position);
  std::int64_t unit = server_->PageSize();
  if (unit <= 0) return 0;
  while (unit < kRequestUnitMin) unit *= 2;
  int issued = 0;
  for (; size > 0; size -= unit, position += unit) {
    server_->Request(done, handle_, position, static_cast<int>(Min(size, unit)));
    ++issued;
  }
  return issued;
}

bool FileBufferLoading::PreloadBuffer(std::int64_t position, std::int64_t size) {
  if (IsError()) return true;
  RequestCounter counter;
  return Request(&counter, position, size) == counter.done;
}

void FileBufferLoading::PreRead(std::int64_t position, std::int64_t size) {
  if (!IsError()) Request(nullptr, position, size);
}

// ---- FileBufferSub ---------------------------------------------------------------------------------

FileBufferSub::FileBufferSub(const Ref<IFileBuffer>& base, std::int64_t start, std::int64_t size)
    : base_(base) {
  const std::int64_t baseSize = base_->GetSize();
  start_ = Clamp(start, 0, baseSize);
  size_ = size < 0 ? baseSize - start_ : Min(size, baseSize - start_);
}

const char* FileBufferSub::GetData() {
  const char* data = base_->GetData();
  return data ? data + start_ : nullptr;
}

bool FileBufferSub::Clip(std::int64_t& position, std::int64_t& size) const {
  position = Clamp(position, 0, size_);
  size = Clamp(size, 0, size_ - position);
  return size > 0;
}

void FileBufferSub::ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) {
  if (position < 0 || position >= size_) {
    previous.Free();
    page = StreamPage::Empty(position);
    return;
  }
  base_->ReadBuffer(page, previous, start_ + position);
  // Express the page in window positions and cut it to the window.
  std::int64_t first = page.start - start_;
  std::int64_t valid = page.buffer ? Min(page.size, page.buffer->Size()) : 0;
  if (first > position || first + valid <= position) {
    page = StreamPage::Empty(position);
    return;
  }
  if (first + valid > size_) valid = size_ - first;
  if (first < 0) {
    // The base page begins before the window (an aligned disk page): copy the part inside it, so that
    // nothing before the window can be read through the page.
    const std::int64_t skip = -first;
    Ref<QIStreamBuffer> inside = new QIStreamBuffer(static_cast<int>(valid - skip));
    if (inside->Size() < valid - skip) {
      page = StreamPage::Empty(position);
      return;
    }
    std::memcpy(inside->Data(), page.buffer->Data() + skip, static_cast<std::size_t>(valid - skip));
    page.buffer = inside;
    first = 0;
    valid -= skip;
  }
  page.start = first;
  page.size = static_cast<int>(valid);
}

bool FileBufferSub::PreloadBuffer(std::int64_t position, std::int64_t size) {
  if (!Clip(position, size)) return true;
  return base_->PreloadBuffer(start_ + position, size);
}

void FileBufferSub::PreRead(std::int64_t position, std::int64_t size) {
  if (Clip(position, size)) base_->PreRead(start_ + position, size);
}

// ---- FileBufferError -------------------------------------------------------------------------------

void FileBufferError::ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) {
  previous.Free();
  page = StreamPage::Empty(position);
}
