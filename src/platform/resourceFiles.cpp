#include "platform/resourceFiles.h"

#include <deque>

#include "platform/mappedFile.h"

namespace platform {
namespace {

constexpr std::uint32_t kMaxPiece = 0x40000000;  // FileSystem takes 32-bit sizes

}  // namespace

FileSource::~FileSource() {
  if (IsValidFile(handle_)) fileSystem_->Close(handle_);
}

bool FileSource::Open(const char* path, std::string* error) {
  fileSystem_ = CurrentFileSystem();
  path_ = path;
  if (!Reopen(error)) return false;
  const bool sized = fileSystem_->Size(handle_, &size_);
  if (!sized) *error = FileErrorText(fileSystem_, path);
  // Closed until read: a patch may have more entries than a process may hold open files.
  fileSystem_->Close(handle_);
  handle_ = kInvalidFile;
  return sized;
}

bool FileSource::Reopen(std::string* error) {
  handle_ = fileSystem_->OpenRead(path_.c_str());
  if (IsValidFile(handle_)) return true;
  *error = FileErrorText(fileSystem_, path_.c_str());
  return false;
}

bool FileSource::Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) {
  if (!IsValidFile(handle_) && !Reopen(error)) return false;
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    const std::uint32_t piece = size < kMaxPiece ? static_cast<std::uint32_t>(size) : kMaxPiece;
    std::uint32_t got = 0;
    if (!fileSystem_->ReadAt(handle_, offset, out, piece, &got)) {
      *error = FileErrorText(fileSystem_, path_.c_str());
      return false;
    }
    if (got != piece) {
      *error = path_ + ": the file became shorter while it was read";
      return false;
    }
    out += got, offset += got, size -= got;
  }
  if (offset >= size_) {  // read to the end: the handle is not needed any more
    fileSystem_->Close(handle_);
    handle_ = kInvalidFile;
  }
  return true;
}

ReplacingFileSink::~ReplacingFileSink() {
  if (committed_ || !fileSystem_) return;
  if (IsValidFile(handle_)) fileSystem_->Close(handle_);
  fileSystem_->Delete(partPath_.c_str());
}

bool ReplacingFileSink::Open(const char* path, std::string* error) {
  fileSystem_ = CurrentFileSystem();
  path_ = path;
  partPath_ = path_ + ".part";
  handle_ = fileSystem_->OpenWrite(partPath_.c_str());
  if (!IsValidFile(handle_)) {
    *error = FileErrorText(fileSystem_, partPath_.c_str());
    return false;
  }
  return true;
}

bool ReplacingFileSink::WriteAll(const void* data, std::size_t size, std::string* error) {
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    const std::uint32_t piece = size < kMaxPiece ? static_cast<std::uint32_t>(size) : kMaxPiece;
    std::uint32_t written = 0;
    if (!fileSystem_->Write(handle_, in, piece, &written)) {
      *error = FileErrorText(fileSystem_, partPath_.c_str());
      return false;
    }
    if (written != piece) {
      *error = partPath_ + ": the disk is full";
      return false;
    }
    in += written, size -= written;
  }
  return true;
}

bool ReplacingFileSink::Write(const void* data, std::size_t size, std::string* error) {
  if (!WriteAll(data, size, error)) return false;
  position_ += size;
  return true;
}

bool ReplacingFileSink::Rewrite(std::uint64_t offset, const void* data, std::size_t size, std::string* error) {
  if (!fileSystem_->Seek(handle_, offset)) {
    *error = FileErrorText(fileSystem_, partPath_.c_str());
    return false;
  }
  if (!WriteAll(data, size, error)) return false;
  if (!fileSystem_->Seek(handle_, position_)) {
    *error = FileErrorText(fileSystem_, partPath_.c_str());
    return false;
  }
  return true;
}

bool ReplacingFileSink::Commit(std::string* error) {
  const bool closed = fileSystem_->Close(handle_);
  handle_ = kInvalidFile;
  if (!closed || !fileSystem_->RenameReplacing(partPath_.c_str(), path_.c_str())) {
    *error = FileErrorText(fileSystem_, path_.c_str());
    fileSystem_->Delete(partPath_.c_str());
    committed_ = true;  // nothing left to clean up
    return false;
  }
  committed_ = true;
  return true;
}

bool WriteResourcesToFile(const char* imagePath, const std::vector<FileResource>& resources,
                          const char* outputPath, pe::WriteReport* report, std::string* error) {
  ReplacingFileSink sink;
  {
    MappedFile image;
    if (!image.Open(imagePath, error)) return false;
    std::deque<FileSource> sources;
    std::vector<pe::NewResource> added;
    for (const FileResource& resource : resources) {
      sources.emplace_back();
      if (!sources.back().Open(resource.path.c_str(), error)) return false;
      pe::NewResource item;
      item.type = resource.type;
      item.name = resource.name;
      item.language = resource.language;
      item.source = &sources.back();
      added.push_back(std::move(item));
    }
    if (!sink.Open(outputPath, error)) return false;
    if (!pe::WriteResources(pe::ByteView{image.Data(), image.Size()}, added, &sink, report, error)) {
      *error = std::string(imagePath) + ": " + *error;
      return false;
    }
  }
  // The input is closed first: Windows cannot rename over a file that is open or mapped.
  return sink.Commit(error);
}

}  // namespace platform
