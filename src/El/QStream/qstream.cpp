#include "El/QStream/qstream.h"

#include <cstring>
#include <string>

#include "El/Common/appFrame.h"

namespace {

constexpr int kCopyBlock = 4096;

// base + offset without overflow: the sum saturates at the ends of the 64-bit range.
std::int64_t AddSaturating(std::int64_t base, std::int64_t offset) {
  if (offset > 0 && base > INT64_MAX - offset) return INT64_MAX;
  if (offset < 0 && base < INT64_MIN - offset) return INT64_MIN;
  return base + offset;
}

int ClampToInt(std::int64_t value) {
  return value < 0 ? 0 : value > INT32_MAX ? INT32_MAX : static_cast<int>(value);
}

}  // namespace

IStreamBankSource* GStreamBankSource = nullptr;

// ---- QIStream --------------------------------------------------------------------------------------

bool QIStream::PreloadBuffer(std::int64_t) { return true; }
void QIStream::PreRead(std::int64_t) {}
StreamSourcePosition QIStream::GetSourcePosition() const { return StreamSourcePosition(); }
void QIStream::SetSourcePosition(const RefString&, int) {}

void QIStream::EmptyPage(std::int64_t position) {
  buffer_.Free();
  bufferStart_ = position;
  bufferSize_ = 0;
  readPos_ = 0;
}

bool QIStream::NextPage() {
  const std::int64_t position = tellg();
  StreamPage page;
  ReadBuffer(page, buffer_, position);
  int valid = page.buffer ? page.size : 0;
  if (valid < 0) valid = 0;
  if (page.buffer && valid > page.buffer->Size()) valid = page.buffer->Size();
  // A page that does not reach the position is of no use; keep the position and report the end.
  if (page.start > position || position - page.start > valid) {
    EmptyPage(position);
    eof_ = true;
    return false;
  }
  buffer_ = page.buffer;
  bufferStart_ = page.start;
  bufferSize_ = valid;
  readPos_ = static_cast<int>(position - page.start);
  if (readPos_ < bufferSize_) return true;
  eof_ = true;
  return false;
}

int QIStream::read(void* destination, int count) {
  if (count <= 0) return 0;
  auto* out = static_cast<char*>(destination);
  int delivered = 0;
  while (delivered < count) {
    if (readPos_ >= bufferSize_ && !NextPage()) break;
    int part = bufferSize_ - readPos_;
    if (part > count - delivered) part = count - delivered;
    std::memcpy(out + delivered, buffer_->Data() + readPos_, static_cast<std::size_t>(part));
    readPos_ += part;
    delivered += part;
  }
  if (delivered < count) {
    eof_ = true;
    if (delivered > 0) fail_ = true;
  }
  return delivered;
}

bool QIStream::GetUntil(char stop, std::string& out) {
  for (;;) {
    if (readPos_ >= bufferSize_ && !NextPage()) return false;
    const char* begin = buffer_->Data() + readPos_;
    const int available = bufferSize_ - readPos_;
    const void* found = std::memchr(begin, stop, static_cast<std::size_t>(available));
    if (found) {
      const int length = static_cast<int>(static_cast<const char*>(found) - begin);
      out.append(begin, static_cast<std::size_t>(length));
      readPos_ += length + 1;
      return true;
    }
    out.append(begin, static_cast<std::size_t>(available));
    readPos_ = bufferSize_;
  }
}

void QIStream::unget() {
  if (readPos_ > 0) --readPos_;
}

void QIStream::SeekG(std::int64_t offset, int direction) {
  const std::int64_t size = GetDataSize();
  const std::int64_t base = direction == 1 ? tellg() : direction == 2 ? size : 0;
  std::int64_t target = AddSaturating(base, offset);
  if (target > size) target = size;
  if (target < 0) target = 0;
  if (bufferStart_ <= target && target - bufferStart_ <= bufferSize_) {
    readPos_ = static_cast<int>(target - bufferStart_);
    return;
  }
  EmptyPage(target);
  fail_ = false;
  eof_ = false;
}

std::int64_t QIStream::CopyTo(QOStream& out) {
  char block[kCopyBlock];
  std::int64_t position = out.tellp();
  while (!fail_ && !eof_) {
    const int got = read(block, kCopyBlock);
    if (got > 0) position = out.write(block, got);
  }
  return position;
}

// ---- QIStrStream -----------------------------------------------------------------------------------

void QIStrStream::Start(const Ref<QIStreamBuffer>& buffer, int size) {
  data_ = buffer;
  size_ = size < 0 ? 0 : size > buffer->Size() ? buffer->Size() : size;
  buffer_ = data_;
  bufferStart_ = 0;
  bufferSize_ = size_;
  readPos_ = 0;
  fail_ = false;
  eof_ = false;
  error_ = LSOK;
}

void QIStrStream::open(const void* data, int size) { Start(new QIStreamBufferTemp(data, size), size); }

void QIStrStream::open(const QOStrStream& source) {
  Start(source.GetBuffer(), ClampToInt(source.GetTotalSize()));
}

void QIStrStream::ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>&, std::int64_t) {
  page.buffer = data_;
  page.start = 0;
  page.size = size_;
}

// ---- QIStreamDataSource ----------------------------------------------------------------------------

void QIStreamDataSource::ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) {
  if (source_) {
    source_->ReadBuffer(page, previous, position);
    return;
  }
  previous.Free();
  page = StreamPage::Empty(position);
}

bool QIStreamDataSource::PreloadBuffer(std::int64_t size) {
  return source_ ? source_->PreloadBuffer(tellg(), size) : true;
}

void QIStreamDataSource::PreRead(std::int64_t size) {
  if (source_) source_->PreRead(tellg(), size);
}

std::int64_t QIStreamDataSource::GetDataSize() const { return source_ ? source_->GetSize() : 0; }

void QIStreamDataSource::AttachSource(const Ref<IFileBuffer>& source) {
  source_ = source;
  EmptyPage(0);
  fail_ = false;
  eof_ = false;
}

// ---- QIFStream -------------------------------------------------------------------------------------

void QIFStream::open(const char* name, std::int64_t start, std::int64_t size) {
  bank_ = nullptr;
  EmptyPage(0);
  fail_ = true;
  eof_ = false;
  Ref<IFileBuffer> file = new FileBufferLoading(name);
  if (file->IsError()) {
    // The stream stays failed; its code tells why the file could not be opened.
    error_ = LSErrorFromSystem(platform::CurrentFileSystem()->LastError());
    source_ = new FileBufferError();
    return;
  }
  if (start != 0 || (size >= 0 && size < file->GetSize())) {
    source_ = new FileBufferSub(file, start, size);
  } else {
    source_ = file;
  }
  fail_ = false;
}

void QIFStream::AutoOpen(const char* name, std::int64_t start, std::int64_t size) {
  fail_ = true;
  if (GStreamBankSource) {
    const char* nameInBank = nullptr;
    QFBank* bank = GStreamBankSource->FindBank(name, &nameInBank);
    if (bank) {
      error_ = LSUnknownError;
      Ref<IFileBuffer> entry = GStreamBankSource->OpenEntry(bank, nameInBank, start, size);
      if (entry) {
        source_ = entry;
        bank_ = bank;
        EmptyPage(0);
        fail_ = false;
        eof_ = false;
        return;
      }
      ReportPositionError("qstream", __LINE__, RefString::Format("File %s not in bank", name));
    }
  }
  open(name, start, size);
}

void QIFStream::close() {
  EmptyPage(0);
  source_.Free();
  bank_ = nullptr;
}

// ---- QOStream --------------------------------------------------------------------------------------

QOStream::QOStream() : buffer_(new QIStreamBuffer(kInitialBuffer)) {}

std::int64_t QOStream::write(const void* source, int count) {
  const auto* in = static_cast<const char*>(source);
  while (count > 0) {
    const std::int64_t needed = static_cast<std::int64_t>(writePos_) + count;
    if (buffer_->Size() < needed) {
      std::int64_t capacity = buffer_->Size() > 0 ? buffer_->Size() : kInitialBuffer;
      while (capacity < needed) capacity *= 2;
      Flush(capacity > INT32_MAX ? INT32_MAX : static_cast<int>(capacity));
    }
    const int room = buffer_->Size() - writePos_;
    if (room <= 0) break;
    const int part = count < room ? count : room;
    char* data = buffer_->Data();
    // Bytes skipped over by a seek past the filled part read as zeros, never as stale memory.
    if (writePos_ > filled_) std::memset(data + filled_, 0, static_cast<std::size_t>(writePos_ - filled_));
    std::memcpy(data + writePos_, in, static_cast<std::size_t>(part));
    writePos_ += part;
    in += part;
    count -= part;
    if (writePos_ > filled_) filled_ = writePos_;
  }
  if (tellp() > totalSize_) totalSize_ = tellp();
  return tellp();
}

void QOStream::SeekP(std::int64_t offset, int direction) {
  const std::int64_t base = direction == 1 ? tellp() : direction == 2 ? totalSize_ : 0;
  const std::int64_t target = AddSaturating(base, offset);
  SeekP(target < 0 ? 0 : target);
}

// ---- QOStrStream -----------------------------------------------------------------------------------

void QOStrStream::Flush(int capacity) {
  if (capacity <= buffer_->Size() || !buffer_->Realloc(capacity, ClampToInt(totalSize_))) outOfRoom_ = true;
}

void QOStrStream::SeekP(std::int64_t position) { writePos_ = ClampToInt(position - bufferStart_); }

// ---- QOFStream -------------------------------------------------------------------------------------

void QOFStream::FailWithSystemError() {
  fail_ = true;
  error_ = LSErrorFromSystem(platform::CurrentFileSystem()->LastError());
}

void QOFStream::OpenWith(const char* name, bool append) {
  Close();
  fail_ = false;
  error_ = LSOK;
  std::string fileName(name ? name : "");
  for (char& c : fileName) {
    if (c == '/') c = '\\';
  }
  QIFileServerFunctions* server = GFileServerFunctions;
  server->ReleaseHandles(fileName.c_str());
  const platform::FileHandle handle =
      append ? server->OpenAppend(fileName.c_str()) : server->OpenWrite(fileName.c_str());
  if (!server->IsValid(handle)) {
    handle_ = 0;
    FailWithSystemError();
    return;
  }
  handle_ = handle;
}

void QOFStream::Flush(int) {
  if (handle_ && !fail_ && filled_ > 0) {
    platform::FileSystem* fileSystem = platform::CurrentFileSystem();
    const platform::FileHandle file = GFileServerFunctions->SystemHandle(handle_);
    std::uint32_t written = 0;
    if (!fileSystem->Write(file, buffer_->Data(), static_cast<std::uint32_t>(filled_), &written) ||
        written < static_cast<std::uint32_t>(filled_)) {
      FailWithSystemError();
    }
    // The buffer may have been rewritten partly after a seek back: the file continues where the write
    // position stood, not where the filled bytes end.
    if (!fail_ && writePos_ != filled_ &&
        !fileSystem->Seek(file, static_cast<std::uint64_t>(bufferStart_ + writePos_))) {
      FailWithSystemError();
    }
  }
  bufferStart_ += writePos_;
  writePos_ = 0;
  filled_ = 0;
}

void QOFStream::SeekP(std::int64_t position) {
  if (position >= bufferStart_ && position - bufferStart_ <= filled_) {
    writePos_ = static_cast<int>(position - bufferStart_);
    return;
  }
  Flush(0);
  bufferStart_ = position;
  if (handle_ && !fail_ &&
      !platform::CurrentFileSystem()->Seek(GFileServerFunctions->SystemHandle(handle_),
                                           static_cast<std::uint64_t>(position))) {
    FailWithSystemError();
  }
}

void QOFStream::Close() {
  if (!handle_) return;
  Flush(0);
  platform::FileSystem* fileSystem = platform::CurrentFileSystem();
  if (!fileSystem->Close(GFileServerFunctions->SystemHandle(handle_))) {
    fail_ = true;
    if (error_ == LSOK) error_ = LSErrorFromSystem(fileSystem->LastError());
  }
  handle_ = 0;
  writePos_ = 0;
  filled_ = 0;
  bufferStart_ = 0;
  totalSize_ = 0;
}
