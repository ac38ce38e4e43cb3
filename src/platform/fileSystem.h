#pragma once
// The file-system seam: every operating-system file operation of the core goes through the
// process-wide `FileSystem` object. The POSIX and Win32 implementations live in posix/ and win32/;
// tests replace the object (SetFileSystem) to inject failures such as a full disk or a failed rename.
//
// Names are given in the program's own form: either separator is accepted. Handles are opaque
// integers; 0 and -1 are never valid handles. After a failed call, LastError() tells the system error
// number of the calling thread and ErrorKind() classifies it, so that callers map it to their own codes
// without knowing the platform.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

inline bool IsValidFile(FileHandle handle) { return handle != 0 && handle != kInvalidFile; }

// What a system error number means to the core.
enum class FileError {
  None,
  NotFound,      // missing file or folder
  AccessDenied,  // permissions, sharing or lock violations, write protection
  DiskFull,
  IoError,       // device read or write failures, CRC errors
  Other,         // anything without a closer meaning
};

// A read-only mapped view of part of a file.
struct MappedView {
  const std::uint8_t* data = nullptr;  // first byte of the requested range
  std::size_t size = 0;                // bytes of the requested range
  void* base = nullptr;                // what the platform mapped (aligned down), for UnmapView
  std::size_t mappedSize = 0;
};

struct FolderEntry {
  char name[768];  // UTF-8: a 255-unit name of any script fits
  bool isFolder;  // a folder, or a link that leads to one
  bool isLink;    // a symbolic link (Windows: any reparse point, such as a junction)
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opening: read-only sharing readers; write creates or truncates with no sharing; append opens or
  // creates and positions at the end. Failure returns kInvalidFile.
  virtual FileHandle OpenRead(const char* name) = 0;
  virtual FileHandle OpenWrite(const char* name) = 0;
  virtual FileHandle OpenAppend(const char* name) = 0;
  virtual bool Close(FileHandle handle) = 0;

  // Reads up to `size` bytes at `position`; *bytesRead is what arrived (short at the end of file).
  virtual bool ReadAt(FileHandle handle, std::uint64_t position, void* buffer, std::uint32_t size,
                      std::uint32_t* bytesRead) = 0;
  // Writes at the current position; *bytesWritten may be short when the disk fills.
  virtual bool Write(FileHandle handle, const void* buffer, std::uint32_t size,
                     std::uint32_t* bytesWritten) = 0;
  // Makes what was written to the file durable (it survives a power cut) before the call returns.
  virtual bool Flush(FileHandle handle) = 0;
  // Starts writing what was written so far to the disk without waiting for it, so that a later Flush
  // has little left to wait for (Linux: the kernel's write-back of the range; Windows: nothing).
  virtual void StartFlush(FileHandle handle) = 0;
  virtual bool Seek(FileHandle handle, std::uint64_t position) = 0;
  virtual bool Size(FileHandle handle, std::uint64_t* size) = 0;
  // Last-write time in seconds since 1970-01-01 UTC.
  virtual bool LastWriteTime(FileHandle handle, std::int64_t* seconds) = 0;

  // Operations on names.
  virtual bool Delete(const char* name) = 0;
  virtual bool MakeWritable(const char* name) = 0;  // clear a read-only attribute
  virtual bool RenameReplacing(const char* from, const char* to) = 0;
  virtual bool CreateFolder(const char* name) = 0;  // one level; true when it exists already
  virtual bool RemoveFolder(const char* name) = 0;  // an empty folder
  virtual bool Exists(const char* name, bool* isFolder) = 0;
  // Copies a file over `to` (replacing it); an existing `to` is either left whole or replaced whole.
  virtual bool CopyFileReplacing(const char* from, const char* to) = 0;
  // Bytes free for the caller on the volume that holds `name` (a file, a folder or a drive root).
  virtual bool FreeSpace(const char* name, std::uint64_t* bytes) = 0;
  // The last component of `name` spelled as the file system has it (names compare without regard to
  // case on Windows, and in the Linux build's Windows view of a prefix).
  virtual bool ActualName(const char* name, std::string* actual) = 0;
  // The process's current folder, which relative names resolve against.
  virtual bool CurrentFolder(std::string* folder) = 0;
  virtual bool SetCurrentFolder(const char* name) = 0;
  // The absolute native path of an existing file or folder with every symbolic link on the way
  // resolved, so that callers can tell whether a link leads out of a folder. False when it does not
  // exist (also a link whose target is missing).
  virtual bool ResolvedPath(const char* name, std::string* path) = 0;
  // True when the last component of `name` is itself a symbolic link (Windows: any reparse point, such
  // as a junction), whether or not it leads anywhere; false when it is none or does not exist.
  virtual bool IsLink(const char* name) = 0;
  // Whether a file could be created in the folder `name` now, leaving nothing behind (Linux: the
  // folder's permissions; Windows: a file made and deleted on close, since only the system can judge
  // its access lists). False, with LastError set, when not.
  virtual bool CanCreateFileIn(const char* name) = 0;
  // Calls `visit` for every entry of the folder except "." and ".."; false when it cannot be listed.
  virtual bool ListFolder(const char* name, void (*visit)(const FolderEntry& entry, void* context),
                          void* context) = 0;

  // Memory-mapped read-only views. The offset need not be aligned; the view covers [offset, offset+size).
  virtual bool MapView(FileHandle handle, std::uint64_t offset, std::size_t size, MappedView* view) = 0;
  virtual void UnmapView(MappedView* view) = 0;

  // The calling thread's system error number after a failed call, and what it means.
  virtual int LastError() = 0;
  virtual FileError ErrorKind(int systemError) = 0;
  // The system's own text for an error number.
  virtual void ErrorText(int systemError, char* buffer, std::size_t bufferSize) = 0;
};

// For the implementations: a mapping must start at a multiple of the system's granularity, so the view
// maps `lead` extra bytes before the requested offset; this fills the view the caller sees.
inline void SetMappedView(MappedView* view, void* base, std::size_t lead, std::size_t size) {
  view->base = base;
  view->mappedSize = size + lead;
  view->data = static_cast<const std::uint8_t*>(base) + lead;
  view->size = size;
}

// The process-wide file system; never null.
FileSystem* CurrentFileSystem();
// The system's text for the last error of the process-wide file system.
std::string LastFileSystemErrorText();
// Replaces it (null restores the platform's own) and returns the previous one.
FileSystem* SetFileSystem(FileSystem* fileSystem);
// The platform's own implementation, for wrappers that inject faults and forward the rest.
FileSystem* NativeFileSystem();

}  // namespace platform
