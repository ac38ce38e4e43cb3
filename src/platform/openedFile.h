#pragma once
// A file opened for reading once and held open until the object goes: the bytes of a patch executable
// read a piece at a time, so that a patch of several GiB costs the pieces being read, not the file's
// size in address space. Held open, the file the run checked is the file it reads (on Windows no other
// program may write it meanwhile). Reads may come from several threads at once.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "pe/byteStreams.h"
#include "platform/fileSystem.h"

namespace platform {

class OpenedFile : public pe::ByteSource {
 public:
  OpenedFile() = default;
  ~OpenedFile() override { Close(); }
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;

  // Through the current FileSystem. False, with "<path>: <reason>" in *error, when it cannot be opened
  // or sized, is a folder, or is empty.
  bool Open(const char* path, std::string* error);
  void Close();

  std::uint64_t Size() const override { return size_; }
  // Exactly `size` bytes at `offset`; a range past the end, a failed read or a file that became shorter
  // fails with the reason in *error.
  bool Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) override;

 private:
  FileSystem* fileSystem_ = nullptr;
  FileHandle handle_ = kInvalidFile;
  std::uint64_t size_ = 0;
  std::string path_;
  std::mutex lock_;  // the Windows seam reads by seeking, then reading
};

}  // namespace platform
