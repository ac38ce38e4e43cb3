#include "platform/mappedFile.h"

#include <limits>

namespace platform {

std::string FileErrorText(FileSystem* fileSystem, const char* path) {
  char text[256];
  fileSystem->ErrorText(fileSystem->LastError(), text, sizeof text);
  return std::string(path) + ": " + text;
}

bool MappedFile::Open(const char* path, std::string* error) {
  Close();
  fileSystem_ = CurrentFileSystem();
  bool isFolder = false;
  if (fileSystem_->Exists(path, &isFolder) && isFolder) {
    *error = std::string(path) + ": a folder, not a file";
    return false;
  }
  handle_ = fileSystem_->OpenRead(path);
  std::uint64_t size = 0;
  if (!IsValidFile(handle_) || !fileSystem_->Size(handle_, &size)) {
    *error = FileErrorText(fileSystem_, path);
    return false;
  }
  if (size == 0) {
    *error = std::string(path) + ": the file is empty";
    return false;
  }
  if (size > std::numeric_limits<std::size_t>::max()) {
    *error = std::string(path) + ": the file is too large to map";
    return false;
  }
  if (!fileSystem_->MapView(handle_, 0, static_cast<std::size_t>(size), &view_)) {
    *error = FileErrorText(fileSystem_, path);
    return false;
  }
  return true;
}

void MappedFile::Close() {
  if (!fileSystem_) return;
  if (view_.base) fileSystem_->UnmapView(&view_);
  if (IsValidFile(handle_)) fileSystem_->Close(handle_);
  handle_ = kInvalidFile;
  view_ = MappedView();
  fileSystem_ = nullptr;
}

}  // namespace platform
