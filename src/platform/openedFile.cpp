#include "platform/openedFile.h"

#include "platform/mappedFile.h"

namespace platform {
namespace {

constexpr std::size_t kMaxPiece = 0x40000000;  // the FileSystem takes 32-bit sizes

}  // namespace

bool OpenedFile::Open(const char* path, std::string* error) {
  Close();
  fileSystem_ = CurrentFileSystem();
  path_ = path;
  bool isFolder = false;
  if (fileSystem_->Exists(path, &isFolder) && isFolder) {
    *error = path_ + ": a folder, not a file";
    return false;
  }
  handle_ = fileSystem_->OpenRead(path);
  if (!IsValidFile(handle_) || !fileSystem_->Size(handle_, &size_)) {
    *error = FileErrorText(fileSystem_, path);
    Close();
    return false;
  }
  if (size_ == 0) {
    *error = path_ + ": the file is empty";
    Close();
    return false;
  }
  return true;
}

void OpenedFile::Close() {
  if (fileSystem_ && IsValidFile(handle_)) fileSystem_->Close(handle_);
  handle_ = kInvalidFile;
  size_ = 0;
}

bool OpenedFile::Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) {
  if (!IsValidFile(handle_)) {
    *error = path_ + ": the file is not open";
    return false;
  }
  if (offset > size_ || size > size_ - offset) {
    *error = path_ + ": a read past the end of the file";
    return false;
  }
  std::lock_guard<std::mutex> hold(lock_);
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    const std::uint32_t piece = static_cast<std::uint32_t>(size < kMaxPiece ? size : kMaxPiece);
    std::uint32_t got = 0;
    if (!fileSystem_->ReadAt(handle_, offset, out, piece, &got)) {
      *error = FileErrorText(fileSystem_, path_.c_str());
      return false;
    }
    if (got == 0) {
      *error = path_ + ": the file became shorter while it was read";
      return false;
    }
    out += got, offset += got, size -= got;
  }
  return true;
}

}  // namespace platform
