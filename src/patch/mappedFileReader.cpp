#include "patch/mappedFileReader.h"

namespace patch {

bool MappedFileReader::Open(const char* name, std::uint64_t start, std::uint64_t length) {
  Close();
  platform::FileSystem* files = platform::CurrentFileSystem();
  file_ = files->OpenRead(name);
  if (!platform::IsValidFile(file_)) return false;
  if (!files->Size(file_, &fileSize_)) {
    Close();
    return false;
  }
  start_ = start < fileSize_ ? start : fileSize_;
  length_ = length < fileSize_ - start_ ? length : fileSize_ - start_;
  windows_.resize(static_cast<std::size_t>((fileSize_ + kViewSize - 1) >> kViewShift));
  return true;
}

void MappedFileReader::Close() {
  windows_.clear();  // unmaps every window; each leaves the recent list by itself
  if (platform::IsValidFile(file_)) platform::CurrentFileSystem()->Close(file_);
  file_ = platform::kInvalidFile;
  fileSize_ = start_ = length_ = 0;
}

const FileMemView* MappedFileReader::ViewAt(std::uint64_t offset, std::uint64_t* windowStart) {
  if (offset < start_ || offset - start_ >= length_) return nullptr;
  const std::size_t index = static_cast<std::size_t>(offset >> kViewShift);
  *windowStart = static_cast<std::uint64_t>(index) << kViewShift;
  Ref<FileMemView>& slot = windows_[index];
  if (!slot) {
    const std::uint64_t remaining = fileSize_ - *windowStart;
    slot = FileMemView::Map(file_, *windowStart, static_cast<std::size_t>(remaining < kViewSize ? remaining : kViewSize),
                            static_cast<std::intptr_t>(index));
    if (!slot) return nullptr;
    recent_.Append(slot.GetRef());
    if (static_cast<std::uint64_t>(recent_.Count()) > (kMappedLimit >> kViewShift)) {
      windows_[static_cast<std::size_t>(recent_.First()->UserValue())] = Ref<FileMemView>();
    }
  }
  return slot.GetRef();
}

bool MappedFileReader::ByteAt(std::uint64_t offset, std::uint8_t* value) {
  std::uint64_t windowStart = 0;
  const FileMemView* view = ViewAt(offset, &windowStart);
  if (!view) return false;
  *value = view->Data()[offset - windowStart];
  return true;
}

}  // namespace patch
