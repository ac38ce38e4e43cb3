#include "vcdiff/fileStreams.h"

#include <new>

#include "vcdiff/memoryStreams.h"

namespace vcdiff {

namespace {

using Ull = unsigned long long;

// The largest single read or write handed to the platform.
constexpr std::size_t kMaxTransfer = 1u << 30;

platform::FileSystem* Files() { return platform::CurrentFileSystem(); }

}  // namespace

std::string LastFileErrorText() {
  char text[256];
  Files()->ErrorText(Files()->LastError(), text, sizeof text);
  return text;
}

bool DeltaFile::Open(const char* path, DecodeError* error) {
  path_ = path;
  handle_ = Files()->OpenRead(path);
  if (!platform::IsValidFile(handle_)) {
    return Fail(error, DecodeStatus::ReadFailed, "cannot open the delta %s: %s", path, LastFileErrorText().c_str());
  }
  if (!Files()->Size(handle_, &size_)) {
    return Fail(error, DecodeStatus::ReadFailed, "cannot read the delta %s: %s", path, LastFileErrorText().c_str());
  }
  return true;
}

void DeltaFile::Close() {
  if (platform::IsValidFile(handle_)) Files()->Close(handle_);
  handle_ = platform::kInvalidFile;
}

bool DeltaFile::ReadAt(std::uint64_t position, void* buffer, std::size_t size, DecodeError* error) {
  if (!SegmentInside(position, size, size_, "delta", error)) return false;
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    const std::uint32_t chunk = static_cast<std::uint32_t>(size < kMaxTransfer ? size : kMaxTransfer);
    std::uint32_t got = 0;
    if (!Files()->ReadAt(handle_, position, out, chunk, &got)) {
      return Fail(error, DecodeStatus::ReadFailed, "cannot read the delta %s: %s", path_.c_str(),
                  LastFileErrorText().c_str());
    }
    if (got != chunk) {
      return Fail(error, DecodeStatus::ReadFailed, "the delta %s ends early (it changed while being read)",
                  path_.c_str());
    }
    out += got;
    position += got;
    size -= got;
  }
  return true;
}

bool MappedFile::Open(const char* path, const char* role, DecodeError* error) {
  path_ = path;
  role_ = role;
  handle_ = Files()->OpenRead(path);
  if (!platform::IsValidFile(handle_)) {
    return Fail(error, DecodeStatus::ReadFailed, "cannot open the %s %s: %s", role, path, LastFileErrorText().c_str());
  }
  if (!Files()->Size(handle_, &size_)) {
    return Fail(error, DecodeStatus::ReadFailed, "cannot read the %s %s: %s", role, path, LastFileErrorText().c_str());
  }
  return true;
}

void MappedFile::Close() {
  Unmap();
  if (ownsHandle_ && platform::IsValidFile(handle_)) Files()->Close(handle_);
  handle_ = platform::kInvalidFile;
}

std::unique_ptr<SegmentSource> MappedFile::NewReader(DecodeError* error) {
  std::unique_ptr<MappedFile> reader(new (std::nothrow) MappedFile);
  if (!reader) {
    Fail(error, DecodeStatus::OutOfMemory, "out of memory for a reader of the %s", role_);
    return nullptr;
  }
  reader->ownsHandle_ = false;
  reader->path_ = path_;
  reader->role_ = role_;
  reader->handle_ = handle_;
  reader->size_ = size_;
  return reader;
}

bool MappedFile::Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
                         DecodeError* error) {
  if (!SegmentInside(position, size, size_, role_, error)) return false;
  Unmap();
  *data = nullptr;
  if (size == 0) return true;
  if (size > SIZE_MAX || !Files()->MapView(handle_, position, static_cast<std::size_t>(size), &view_)) {
    view_ = platform::MappedView();
    return Fail(error, DecodeStatus::ReadFailed, "cannot map %llu bytes of the %s %s: %s", static_cast<Ull>(size),
                role_, path_.c_str(), LastFileErrorText().c_str());
  }
  *data = view_.data;
  return true;
}

void MappedFile::Unmap() {
  if (view_.base) Files()->UnmapView(&view_);
  view_ = platform::MappedView();
}

bool OutputFile::Create(const char* path, DecodeError* error, bool inPlace) {
  path_ = path;
  partPath_ = inPlace ? path_ : path_ + ".part";
  handle_ = Files()->OpenWrite(partPath_.c_str());
  if (!platform::IsValidFile(handle_)) {
    return Fail(error, DecodeStatus::WriteFailed, "cannot create %s: %s", partPath_.c_str(),
                LastFileErrorText().c_str());
  }
  created_ = true;
  return true;
}

bool OutputFile::Write(const std::uint8_t* data, std::size_t size, DecodeError* error) {
  while (size > 0) {
    const std::uint32_t chunk = static_cast<std::uint32_t>(size < kMaxTransfer ? size : kMaxTransfer);
    std::uint32_t put = 0;
    const bool ok = Files()->Write(handle_, data, chunk, &put);
    if (!ok || put != chunk) {
      return Fail(error, DecodeStatus::WriteFailed, "cannot write %s: %s", partPath_.c_str(),
                  ok ? "the disk is full" : LastFileErrorText().c_str());
    }
    data += put;
    size -= put;
    writtenSize_ += put;
  }
  // The disk takes the window while the next one decodes; the flush at the end then waits for little.
  Files()->StartFlush(handle_);
  return true;
}

bool OutputFile::CloseWriter(bool durable, DecodeError* error) {
  if (!platform::IsValidFile(handle_)) return true;
  const bool flushed = !durable || Files()->Flush(handle_);
  const bool closed = Files()->Close(handle_) && flushed;
  handle_ = platform::kInvalidFile;
  if (!closed) {
    return Fail(error, DecodeStatus::WriteFailed, "cannot write %s: %s", partPath_.c_str(),
                LastFileErrorText().c_str());
  }
  return true;
}

bool OutputFile::Commit(DecodeError* error) {
  // On disk before it is renamed over a file that a power cut must not leave empty.
  if (!CloseWriter(true, error)) {
    Abandon();
    return false;
  }
  if (partPath_ != path_ && !Files()->RenameReplacing(partPath_.c_str(), path_.c_str())) {
    Fail(error, DecodeStatus::WriteFailed, "cannot rename %s to %s: %s", partPath_.c_str(), path_.c_str(),
         LastFileErrorText().c_str());
    Abandon();
    return false;
  }
  created_ = false;
  return true;
}

void OutputFile::Abandon() {
  if (platform::IsValidFile(handle_)) Files()->Close(handle_);
  handle_ = platform::kInvalidFile;
  if (created_) Files()->Delete(partPath_.c_str());
  created_ = false;
}

bool OutputFile::WrittenPart::Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
                                      DecodeError* error) {
  if (!SegmentInside(position, size, owner_->writtenSize_, "target written so far", error)) return false;
  if (!owner_->CloseWriter(false, error)) return false;
  if (!file_.Open(owner_->partPath_.c_str(), "output", error)) return false;
  return file_.Acquire(position, size, data, error);
}

bool OutputFile::WrittenPart::Release(DecodeError* error) {
  file_.Close();
  owner_->handle_ = Files()->OpenAppend(owner_->partPath_.c_str());
  if (!platform::IsValidFile(owner_->handle_)) {
    return Fail(error, DecodeStatus::WriteFailed, "cannot reopen %s: %s", owner_->partPath_.c_str(),
                LastFileErrorText().c_str());
  }
  return true;
}

}  // namespace vcdiff
