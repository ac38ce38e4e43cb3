#pragma once
// The file server: every file the stream library opens, reads or closes goes through one process-wide
// object, `GFileServerFunctions`, which may be replaced (a caching server, a test that injects faults).
// The default instance does its operating-system work through platform::CurrentFileSystem(); it keeps
// no state, so streams on different threads may use it at once.
//
// Handles are the file-system seam's handles; 0 and -1 are never valid.

#include <cstdint>

#include "Es/Containers/compactBuf.h"
#include "El/QStream/streamBuffer.h"
#include "platform/fileSystem.h"

// Told when a file-server request has been served. The default server serves every request at once.
class IFileRequestCompletion {
 public:
  virtual void RequestDone() = 0;

 protected:
  ~IFileRequestCompletion() = default;
};

class QIFileServerFunctions {
 public:
  constexpr QIFileServerFunctions() = default;
  virtual ~QIFileServerFunctions() = default;

  // Drops cached read handles of a name; called before the file is opened for writing or deleted.
  virtual bool ReleaseHandles(const char* name);
  // Asks for [position, position + size) of a file to be made ready; `done` (may be null) is told when
  // it is. The default serves it at once.
  virtual bool Request(IFileRequestCompletion* done, platform::FileHandle handle, std::int64_t position,
                       int size);
  // Reads up to `size` bytes (at most a page) at `position` into a new page buffer. The page starts at
  // `position` and holds the bytes that arrived: fewer at the end of the file, none when reading failed.
  virtual void ReadPage(StreamPage& page, platform::FileHandle handle, std::int64_t position, int size);
  virtual platform::FileHandle OpenRead(const char* name);
  virtual platform::FileHandle OpenWrite(const char* name);   // creates or truncates
  virtual platform::FileHandle OpenAppend(const char* name);  // creates when missing, positioned at the end
  // Keeps a handle open for good (a bank's); nothing by default.
  virtual void MakePermanent(platform::FileHandle handle);
  virtual RefString HandleName(platform::FileHandle handle);  // "Handle %x"
  virtual void CloseRead(const char* name, platform::FileHandle handle);
  virtual bool IsValid(platform::FileHandle handle);
  // Bytes per page; a power of two.
  virtual int PageSize();
  // Copies a file; nothing when the names are equal ignoring case. False when the source cannot be
  // read or the destination cannot be written completely.
  virtual bool Copy(const char* source, const char* destination);
  // Last-write time in seconds since 1970-01-01 UTC; 0 when it cannot be had.
  virtual std::int64_t FileTime(platform::FileHandle handle);
  // Size in bytes; 0 when it cannot be had.
  virtual std::int64_t FileSize(platform::FileHandle handle);
  // The handle as the file-system seam knows it, for direct reads and writes.
  virtual platform::FileHandle SystemHandle(platform::FileHandle handle);
};

// Never null; points at a static default instance.
extern QIFileServerFunctions* GFileServerFunctions;
QIFileServerFunctions* DefaultFileServerFunctions();

// Operations on file names, each opening through the file server and closing again. They look at the
// disk only; data banks answer the same questions for the names they cover.
bool QFileExists(const char* name);            // a read handle could be opened
std::int64_t QFileSize(const char* name);      // 0 when it cannot be opened or the size is unknown
std::int64_t QFileTime(const char* name);      // 0 when it cannot be opened
// Releases cached handles, makes the file writable and deletes it; true on success.
bool QFileDelete(const char* name);
bool QFileDeleteIfPresent(const char* name);   // true also when there was no such file
