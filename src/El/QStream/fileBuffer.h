#pragma once
// Byte sources (`IFileBuffer`): what an input stream reads its pages from. A source is a block in
// memory, a file on disk read page by page, a window of another source, or the empty source of a file
// that could not be opened. Sources are shared by reference count and used by one thread at a time.
//
// Positions and sizes are 64-bit, so files above 2 GiB neither wrap nor turn negative.

#include <cstdint>

#include "Es/Containers/compactBuf.h"
#include "Es/Containers/refCount.h"
#include "El/QStream/fileServer.h"
#include "El/QStream/streamBuffer.h"
#include "platform/fileSystem.h"

class IFileBuffer : public RefCount {
 public:
  // True when the source could not be opened and holds nothing.
  virtual bool IsError() const = 0;
  // The whole contents, when the source holds them in memory; else null.
  virtual const char* GetData() = 0;
  virtual std::int64_t GetSize() const = 0;
  // Delivers the page that contains `position`; releases `previous` first, so that a source may reuse
  // its memory. At or past the end the page is empty. The default copies at most 4096 bytes from
  // GetData() into a new buffer.
  virtual void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position);
  // Makes [position, position + size) ready; true once it is.
  virtual bool PreloadBuffer(std::int64_t position, std::int64_t size) = 0;
  // Read-ahead hint for [position, position + size); nothing by default.
  virtual void PreRead(std::int64_t position, std::int64_t size);
  // Copies up to `size` bytes from `position`, page by page; returns the count copied.
  virtual std::int64_t Read(void* destination, std::int64_t position, std::int64_t size);
  // The file handle behind the source, or 0.
  virtual platform::FileHandle GetHandle() const;
  virtual bool IsReady() const { return true; }
};

// A block of memory owned by the source.
class FileBufferMemory : public IFileBuffer {
 public:
  FileBufferMemory() = default;
  // A block of `size` bytes for the caller to fill; empty when the allocator refuses it.
  explicit FileBufferMemory(std::int64_t size);
  // A copy of `size` bytes at `data`.
  FileBufferMemory(const void* data, std::int64_t size);
  ~FileBufferMemory() override;

  bool IsError() const override { return false; }
  const char* GetData() override { return data_; }
  std::int64_t GetSize() const override { return size_; }
  bool PreloadBuffer(std::int64_t, std::int64_t) override { return true; }

  char* Data() { return data_; }

 protected:
  bool Allocate(std::int64_t size);
  void FreeBlock();

 private:
  char* data_ = nullptr;
  std::int64_t size_ = 0;
};

// A region of a file read into memory at once. A short read reports "File '%s' read error %x" and
// leaves the source empty; so does a file that cannot be opened. An empty file gives an empty source.
class FileBufferLoaded : public FileBufferMemory {
 public:
  // `size` below 0 means "to the end of the file".
  FileBufferLoaded(const char* name, std::int64_t start, std::int64_t size);
};

// A file on disk, read through the file server one aligned page at a time.
class FileBufferLoading : public IFileBuffer {
 public:
  explicit FileBufferLoading(const char* name);
  ~FileBufferLoading() override;
  FileBufferLoading(const FileBufferLoading&) = delete;
  FileBufferLoading& operator=(const FileBufferLoading&) = delete;

  bool IsError() const override;
  const char* GetData() override;  // null, after the diagnostic "Cannot return data"
  std::int64_t GetSize() const override { return size_; }
  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override;
  bool PreloadBuffer(std::int64_t position, std::int64_t size) override;
  void PreRead(std::int64_t position, std::int64_t size) override;
  platform::FileHandle GetHandle() const override { return handle_; }

 private:
  // Issues file-server requests for a range clipped to the file, in units of at least 32 KiB; returns
  // how many were issued.
  int Request(IFileRequestCompletion* done, std::int64_t position, std::int64_t size);

  RefString name_;
  QIFileServerFunctions* server_;  // the server that opened the handle also closes it
  platform::FileHandle handle_ = 0;
  std::int64_t size_ = 0;
};

// A window [start, start + size) of another source. The start is clipped to the base's size and the
// size to what follows the start; a size below 0 means "to the end".
class FileBufferSub : public IFileBuffer {
 public:
  FileBufferSub(const Ref<IFileBuffer>& base, std::int64_t start, std::int64_t size);

  bool IsError() const override { return base_->IsError(); }
  const char* GetData() override;
  std::int64_t GetSize() const override { return size_; }
  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override;
  bool PreloadBuffer(std::int64_t position, std::int64_t size) override;
  void PreRead(std::int64_t position, std::int64_t size) override;
  platform::FileHandle GetHandle() const override { return base_->GetHandle(); }

 private:
  // Clips [position, position + size) to the window; false when nothing of it lies inside.
  bool Clip(std::int64_t& position, std::int64_t& size) const;

  Ref<IFileBuffer> base_;
  std::int64_t start_;
  std::int64_t size_;
};

// The source of a file that could not be opened: nothing, and an error.
class FileBufferError : public IFileBuffer {
 public:
  bool IsError() const override { return true; }
  const char* GetData() override { return nullptr; }
  std::int64_t GetSize() const override { return 0; }
  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override;
  bool PreloadBuffer(std::int64_t, std::int64_t) override { return true; }
};
