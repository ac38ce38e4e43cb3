#pragma once
// A file system that forwards to the platform's own and fails where a test asks: the Nth write (or all
// writes from it on), a full disk after a number of bytes, short reads, failing seeks, closes or opens.
// It installs itself while it lives and restores the previous file system afterwards. Injected failures
// report `injectedError`, a system error number chosen from the native file system's own kinds.

#include <cstdint>
#include <string>

#include "platform/fileSystem.h"

class FaultInjectingFileSystem : public platform::FileSystem {
 public:
  FaultInjectingFileSystem() : native_(platform::NativeFileSystem()), previous_(platform::SetFileSystem(this)) {}
  ~FaultInjectingFileSystem() override { platform::SetFileSystem(previous_); }
  FaultInjectingFileSystem(const FaultInjectingFileSystem&) = delete;
  FaultInjectingFileSystem& operator=(const FaultInjectingFileSystem&) = delete;

  // Write number `failWriteAt` (counting from 1) and every later one fail outright; 0 never.
  int failWriteAt = 0;
  // Writes stop short once this many bytes went through (a full disk); negative: no limit.
  std::int64_t diskSpace = -1;
  // Reads deliver at most this many bytes per call; negative: no limit.
  std::int64_t readLimit = -1;
  // Reads stop at this file position, and reads from it on fail (a file that vanished); negative: never.
  std::int64_t readFailFrom = -1;
  bool failSeek = false;
  bool failClose = false;
  bool failOpen = false;
  bool failRename = false;
  bool failSetCurrentFolder = false;
  // Rename number `failRenameAt` (counting from 1) fails, once; 0 never.
  int failRenameAt = 0;
  // Renames onto a name that contains this text (ASCII letters in any case) fail, every time; "" never.
  std::string failRenameTo;
  // Deletion number `failDeleteAt` fails, once; 0 never.
  int failDeleteAt = 0;
  // Change number `failChangeAt` fails, once, counting every operation that creates, writes, flushes,
  // renames, deletes or changes a file or folder; 0 never.
  int failChangeAt = 0;
  // What FreeSpace reports; negative: the native figure.
  std::int64_t freeSpace = -1;
  // The system error that injected failures report; set by the test to e.g. a full-disk number.
  int injectedError = 0;

  int writes = 0;
  int changes = 0;
  int renames = 0;
  int deletes = 0;
  std::int64_t totalWritten = 0;

  platform::FileHandle OpenRead(const char* name) override {
    return failOpen ? Inject(platform::kInvalidFile) : Forward(native_->OpenRead(name));
  }
  platform::FileHandle OpenWrite(const char* name) override {
    return failOpen || FailThisChange() ? Inject(platform::kInvalidFile) : Forward(native_->OpenWrite(name));
  }
  platform::FileHandle OpenAppend(const char* name) override {
    return failOpen || FailThisChange() ? Inject(platform::kInvalidFile) : Forward(native_->OpenAppend(name));
  }
  bool Close(platform::FileHandle handle) override {
    const bool closed = Forward(native_->Close(handle));
    return failClose ? Inject(false) : closed;
  }
  bool ReadAt(platform::FileHandle handle, std::uint64_t position, void* buffer, std::uint32_t size,
              std::uint32_t* bytesRead) override {
    *bytesRead = 0;
    if (readFailFrom >= 0) {
      if (position >= static_cast<std::uint64_t>(readFailFrom)) return Inject(false);
      if (position + size > static_cast<std::uint64_t>(readFailFrom)) {
        size = static_cast<std::uint32_t>(static_cast<std::uint64_t>(readFailFrom) - position);
      }
    }
    if (readLimit >= 0 && size > readLimit) size = static_cast<std::uint32_t>(readLimit);
    return Forward(native_->ReadAt(handle, position, buffer, size, bytesRead));
  }
  bool Write(platform::FileHandle handle, const void* buffer, std::uint32_t size,
             std::uint32_t* bytesWritten) override {
    *bytesWritten = 0;
    ++writes;
    if ((failWriteAt > 0 && writes >= failWriteAt) || FailThisChange()) return Inject(false);
    std::uint32_t allowed = size;
    if (diskSpace >= 0 && totalWritten + size > diskSpace) {
      allowed = static_cast<std::uint32_t>(diskSpace - totalWritten);
    }
    const bool ok = Forward(native_->Write(handle, buffer, allowed, bytesWritten));
    totalWritten += *bytesWritten;
    if (ok && allowed < size) lastInjected_ = true;  // a short write: the disk is full
    return ok;
  }
  bool Flush(platform::FileHandle handle) override {
    return FailThisChange() ? Inject(false) : Forward(native_->Flush(handle));
  }
  void StartFlush(platform::FileHandle handle) override { native_->StartFlush(handle); }
  bool Seek(platform::FileHandle handle, std::uint64_t position) override {
    return failSeek ? Inject(false) : Forward(native_->Seek(handle, position));
  }
  bool Size(platform::FileHandle handle, std::uint64_t* size) override {
    return Forward(native_->Size(handle, size));
  }
  bool LastWriteTime(platform::FileHandle handle, std::int64_t* seconds) override {
    return Forward(native_->LastWriteTime(handle, seconds));
  }
  bool Delete(const char* name) override {
    return ++deletes == failDeleteAt || FailThisChange() ? Inject(false) : Forward(native_->Delete(name));
  }
  bool MakeWritable(const char* name) override {
    return FailThisChange() ? Inject(false) : Forward(native_->MakeWritable(name));
  }
  bool RenameReplacing(const char* from, const char* to) override {
    const bool refused = failRename || ++renames == failRenameAt || FailThisChange() ||
                         (!failRenameTo.empty() && Upper(to).find(Upper(failRenameTo.c_str())) != std::string::npos);
    return refused ? Inject(false) : Forward(native_->RenameReplacing(from, to));
  }
  bool CreateFolder(const char* name) override {
    return FailThisChange() ? Inject(false) : Forward(native_->CreateFolder(name));
  }
  bool RemoveFolder(const char* name) override {
    return FailThisChange() ? Inject(false) : Forward(native_->RemoveFolder(name));
  }
  bool Exists(const char* name, bool* isFolder) override { return Forward(native_->Exists(name, isFolder)); }
  bool CopyFileReplacing(const char* from, const char* to) override {
    return failRename || FailThisChange() ? Inject(false) : Forward(native_->CopyFileReplacing(from, to));
  }
  bool FreeSpace(const char* name, std::uint64_t* bytes) override {
    if (freeSpace < 0) return Forward(native_->FreeSpace(name, bytes));
    *bytes = static_cast<std::uint64_t>(freeSpace);
    return Forward(true);
  }
  bool ActualName(const char* name, std::string* actual) override { return Forward(native_->ActualName(name, actual)); }
  bool CurrentFolder(std::string* folder) override { return Forward(native_->CurrentFolder(folder)); }
  bool SetCurrentFolder(const char* name) override {
    return failSetCurrentFolder ? Inject(false) : Forward(native_->SetCurrentFolder(name));
  }
  bool ResolvedPath(const char* name, std::string* path) override { return Forward(native_->ResolvedPath(name, path)); }
  bool ListFolder(const char* name, void (*visit)(const platform::FolderEntry&, void*), void* context) override {
    return Forward(native_->ListFolder(name, visit, context));
  }
  bool IsLink(const char* name) override { return Forward(native_->IsLink(name)); }
  bool CanCreateFileIn(const char* name) override { return Forward(native_->CanCreateFileIn(name)); }

  bool MapView(platform::FileHandle handle, std::uint64_t offset, std::size_t size,
               platform::MappedView* view) override {
    return Forward(native_->MapView(handle, offset, size, view));
  }
  void UnmapView(platform::MappedView* view) override { native_->UnmapView(view); }

  // A system error number of the native file system that means `kind`; 0 when none is found.
  static int SystemErrorOfKind(platform::FileError kind) {
    for (int number = 1; number < 4096; ++number) {
      if (platform::NativeFileSystem()->ErrorKind(number) == kind) return number;
    }
    return 0;
  }

  int LastError() override { return lastInjected_ ? injectedError : native_->LastError(); }
  platform::FileError ErrorKind(int systemError) override { return native_->ErrorKind(systemError); }
  void ErrorText(int systemError, char* buffer, std::size_t bufferSize) override {
    native_->ErrorText(systemError, buffer, bufferSize);
  }

 private:
  bool FailThisChange() { return ++changes == failChangeAt; }
  static std::string Upper(const char* text) {
    std::string upper = text;
    for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return upper;
  }
  template <class T>
  T Inject(T result) {
    lastInjected_ = true;
    return result;
  }
  template <class T>
  T Forward(T result) {
    lastInjected_ = false;
    return result;
  }

  platform::FileSystem* native_;
  platform::FileSystem* previous_;
  bool lastInjected_ = false;
};
