#include "platform/fileSystem.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/wideText.h"

namespace platform {
namespace {

// Windows accepts '/' in most calls but not all; the core's UTF-8 names are turned into the native
// form, UTF-16 for the wide-character functions.
std::wstring NativeName(const char* name) {
  std::wstring path = WideText(name);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

HANDLE ToNative(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle FromNative(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

bool SeekTo(HANDLE file, std::uint64_t position) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != 0;
}

class Win32FileSystem : public FileSystem {
 public:
  FileHandle OpenRead(const char* name) override {
    return FromNative(CreateFileW(NativeName(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  FileHandle OpenWrite(const char* name) override {
    return FromNative(CreateFileW(NativeName(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  FileHandle OpenAppend(const char* name) override {
    HANDLE file = CreateFileW(NativeName(name).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kInvalidFile;
    if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
      DWORD error = GetLastError();
      CloseHandle(file);
      SetLastError(error);
      return kInvalidFile;
    }
    return FromNative(file);
  }
  bool Close(FileHandle handle) override { return CloseHandle(ToNative(handle)) != 0; }

  bool ReadAt(FileHandle handle, std::uint64_t position, void* buffer, std::uint32_t size,
              std::uint32_t* bytesRead) override {
    *bytesRead = 0;
    if (!SeekTo(ToNative(handle), position)) return false;
    DWORD got = 0;
    if (!ReadFile(ToNative(handle), buffer, size, &got, nullptr)) return false;
    *bytesRead = got;
    return true;
  }
  bool Write(FileHandle handle, const void* buffer, std::uint32_t size,
             std::uint32_t* bytesWritten) override {
    DWORD put = 0;
    BOOL ok = WriteFile(ToNative(handle), buffer, size, &put, nullptr);
    *bytesWritten = put;
    return ok != 0;
  }
  bool Flush(FileHandle handle) override { return FlushFileBuffers(ToNative(handle)) != 0; }
  void StartFlush(FileHandle) override {}
  bool Seek(FileHandle handle, std::uint64_t position) override { return SeekTo(ToNative(handle), position); }
  bool Size(FileHandle handle, std::uint64_t* size) override {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(ToNative(handle), &value)) return false;
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
  }
  bool LastWriteTime(FileHandle handle, std::int64_t* seconds) override {
    FILETIME written;
    if (!GetFileTime(ToNative(handle), nullptr, nullptr, &written)) return false;
    const std::uint64_t ticks = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    *seconds = static_cast<std::int64_t>((ticks - 116444736000000000ULL) / 10000000ULL);
    return true;
  }

  bool Delete(const char* name) override { return DeleteFileW(NativeName(name).c_str()) != 0; }
  bool MakeWritable(const char* name) override {
    return SetFileAttributesW(NativeName(name).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
  }
  bool RenameReplacing(const char* from, const char* to) override {
    return MoveFileExW(NativeName(from).c_str(), NativeName(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }
  bool RemoveFolder(const char* name) override { return RemoveDirectoryW(NativeName(name).c_str()) != 0; }
  bool CreateFolder(const char* name) override {
    const std::wstring path = NativeName(name);
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool Exists(const char* name, bool* isFolder) override {
    DWORD attributes = GetFileAttributesW(NativeName(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (isFolder) *isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
  }
  bool CopyFileReplacing(const char* from, const char* to) override {
    // Through a temporary file beside the target: a failure leaves the old target whole.
    const std::wstring target = NativeName(to);
    const std::wstring temporary = target + L".zrcopy";
    if (CopyFileW(NativeName(from).c_str(), temporary.c_str(), FALSE) &&
        MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    SetLastError(error);
    return false;
  }
  bool FreeSpace(const char* name, std::uint64_t* bytes) override {
    // The nearest folder on the path that exists tells the volume.
    std::wstring path = NativeName(name);
    ULARGE_INTEGER available;
    while (!GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) {
      const std::size_t separator = path.find_last_of(L'\\', path.size() > 1 ? path.size() - 2 : 0);
      if (separator == std::wstring::npos) return false;
      path = path.substr(0, separator + 1);
    }
    *bytes = available.QuadPart;
    return true;
  }
  bool ActualName(const char* name, std::string* actual) override {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(NativeName(name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    *actual = Utf8Text(found.cFileName);
    return true;
  }
  bool CurrentFolder(std::string* folder) override {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return false;
    *folder = Utf8Text(buffer);
    return true;
  }
  bool SetCurrentFolder(const char* name) override { return SetCurrentDirectoryW(NativeName(name).c_str()) != 0; }
  bool ResolvedPath(const char* name, std::string* path) override {
    // Opening follows every link and junction on the way; the handle then knows the final path.
    HANDLE file = CreateFileW(NativeName(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    wchar_t buffer[4096];
    const DWORD length = GetFinalPathNameByHandleW(file, buffer, 4096, FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (length == 0 || length >= 4096) return false;
    *path = Utf8Text(buffer, static_cast<int>(length));
    if (path->compare(0, 4, "\\\\?\\") == 0) path->erase(0, 4);  // the long-path prefix
    return true;
  }
  bool IsLink(const char* name) override {
    const DWORD attributes = GetFileAttributesW(NativeName(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }
  bool CanCreateFileIn(const char* name) override {
    // A new file that the system removes when it is closed: nothing stays, whatever happens.
    const std::wstring probe = NativeName(name) + L"\\zrpatch-" + std::to_wstring(GetCurrentProcessId()) + L".probe";
    const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }
  bool ListFolder(const char* name, void (*visit)(const FolderEntry& entry, void* context),
                  void* context) override {
    const std::wstring pattern = NativeName(name) + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
      if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0) continue;
      FolderEntry entry{};
      std::snprintf(entry.name, sizeof entry.name, "%s", Utf8Text(found.cFileName).c_str());
      entry.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      entry.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      visit(entry, context);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
  }

  bool MapView(FileHandle handle, std::uint64_t offset, std::size_t size, MappedView* view) override {
    *view = MappedView();
    if (size == 0) return true;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::uint64_t start = offset - offset % system.dwAllocationGranularity;
    const std::size_t lead = static_cast<std::size_t>(offset - start);
    HANDLE mapping = CreateFileMappingW(ToNative(handle), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return false;
    void* base = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                               static_cast<DWORD>(start), size + lead);
    DWORD error = GetLastError();
    CloseHandle(mapping);  // the view keeps the mapping object alive
    if (!base) {
      SetLastError(error);
      return false;
    }
    SetMappedView(view, base, lead, size);
    return true;
  }
  void UnmapView(MappedView* view) override {
    if (view->base) UnmapViewOfFile(view->base);
    *view = MappedView();
  }

  int LastError() override { return static_cast<int>(GetLastError()); }
  FileError ErrorKind(int systemError) override {
    switch (systemError) {
      case 0: return FileError::None;
      case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return FileError::NotFound;
      case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION: case ERROR_NETWORK_ACCESS_DENIED: return FileError::AccessDenied;
      case ERROR_HANDLE_DISK_FULL: case ERROR_DISK_FULL: return FileError::DiskFull;
      case ERROR_CRC: case ERROR_WRITE_FAULT: case ERROR_READ_FAULT: return FileError::IoError;
      default: return FileError::Other;
    }
  }
  void ErrorText(int systemError, char* buffer, std::size_t bufferSize) override {
    if (bufferSize == 0) return;
    buffer[0] = 0;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(systemError), 0, buffer, static_cast<DWORD>(bufferSize), nullptr);
  }
};

}  // namespace

FileSystem* NativeFileSystem() {
  static Win32FileSystem fileSystem;
  return &fileSystem;
}

}  // namespace platform
