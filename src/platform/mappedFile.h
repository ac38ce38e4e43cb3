#pragma once
// A whole file mapped read-only through the current FileSystem, released with the object.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/fileSystem.h"

namespace platform {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False, with "<path>: <reason>" in *error, when the file cannot be opened or mapped, or is empty.
  bool Open(const char* path, std::string* error);
  void Close();

  const std::uint8_t* Data() const { return view_.data; }
  std::size_t Size() const { return view_.size; }

 private:
  FileSystem* fileSystem_ = nullptr;
  FileHandle handle_ = kInvalidFile;
  MappedView view_;
};

// "<path>: <the system's text for the calling thread's last file error>".
std::string FileErrorText(FileSystem* fileSystem, const char* path);

}  // namespace platform
