#include "platform/fileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/machine.h"

namespace platform {
namespace {

thread_local int lastError = 0;

// Names in the program's own form (a drive of the prefix, either separator, any case) as the native
// path of the file they stand for; "" (which no call finds) for a name that cannot be mapped.
std::string NativeName(const char* name) {
  std::string path;
  return ToNativePath(name, &path) ? path : std::string();
}

// Handles are descriptors shifted by one, so that descriptor 0 never reads as "no handle".
FileHandle ToHandle(int fd) { return fd < 0 ? kInvalidFile : static_cast<FileHandle>(fd) + 1; }
int ToFd(FileHandle handle) { return IsValidFile(handle) ? static_cast<int>(handle - 1) : -1; }

bool Fail() {
  lastError = errno;
  return false;
}

FileHandle Open(const char* name, int flags) {
  int fd = ::open(NativeName(name).c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) lastError = errno;
  return ToHandle(fd);
}

class PosixFileSystem : public FileSystem {
 public:
  FileHandle OpenRead(const char* name) override {
    FileHandle handle = Open(name, O_RDONLY);
    struct stat info;
    // A folder opens on POSIX but reads fail; treat it as not a file, as Windows does.
    if (IsValidFile(handle) && ::fstat(ToFd(handle), &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(ToFd(handle));
      lastError = EACCES;
      return kInvalidFile;
    }
    return handle;
  }
  FileHandle OpenWrite(const char* name) override { return Open(name, O_WRONLY | O_CREAT | O_TRUNC); }
  FileHandle OpenAppend(const char* name) override {
    FileHandle handle = Open(name, O_WRONLY | O_CREAT);
    if (IsValidFile(handle) && ::lseek(ToFd(handle), 0, SEEK_END) < 0) {
      Fail();
      ::close(ToFd(handle));
      return kInvalidFile;
    }
    return handle;
  }
  bool Close(FileHandle handle) override {
    if (!IsValidFile(handle)) {
      lastError = EBADF;
      return false;
    }
    return ::close(ToFd(handle)) == 0 || Fail();
  }

  bool ReadAt(FileHandle handle, std::uint64_t position, void* buffer, std::uint32_t size,
              std::uint32_t* bytesRead) override {
    *bytesRead = 0;
    auto* out = static_cast<char*>(buffer);
    while (*bytesRead < size) {
      ssize_t got = ::pread(ToFd(handle), out + *bytesRead, size - *bytesRead,
                            static_cast<off_t>(position + *bytesRead));
      if (got < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      if (got == 0) break;
      *bytesRead += static_cast<std::uint32_t>(got);
    }
    return true;
  }
  bool Write(FileHandle handle, const void* buffer, std::uint32_t size,
             std::uint32_t* bytesWritten) override {
    *bytesWritten = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (*bytesWritten < size) {
      ssize_t put = ::write(ToFd(handle), in + *bytesWritten, size - *bytesWritten);
      if (put < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      *bytesWritten += static_cast<std::uint32_t>(put);
    }
    return true;
  }
  bool Flush(FileHandle handle) override { return ::fsync(ToFd(handle)) == 0 || Fail(); }
  void StartFlush(FileHandle handle) override { ::sync_file_range(ToFd(handle), 0, 0, SYNC_FILE_RANGE_WRITE); }
  bool Seek(FileHandle handle, std::uint64_t position) override {
    return ::lseek(ToFd(handle), static_cast<off_t>(position), SEEK_SET) >= 0 || Fail();
  }
  bool Size(FileHandle handle, std::uint64_t* size) override {
    struct stat info;
    if (::fstat(ToFd(handle), &info) != 0) return Fail();
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
  }
  bool LastWriteTime(FileHandle handle, std::int64_t* seconds) override {
    struct stat info;
    if (::fstat(ToFd(handle), &info) != 0) return Fail();
    *seconds = static_cast<std::int64_t>(info.st_mtime);
    return true;
  }

  bool Delete(const char* name) override { return ::unlink(NativeName(name).c_str()) == 0 || Fail(); }
  bool MakeWritable(const char* name) override {
    std::string path = NativeName(name);
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return Fail();
    return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0 || Fail();
  }
  bool RenameReplacing(const char* from, const char* to) override {
    return ::rename(NativeName(from).c_str(), NativeName(to).c_str()) == 0 || Fail();
  }
  bool RemoveFolder(const char* name) override { return ::rmdir(NativeName(name).c_str()) == 0 || Fail(); }
  bool CreateFolder(const char* name) override {
    std::string path = NativeName(name);
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (errno == EEXIST) {
      struct stat info;
      if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
      errno = EEXIST;
    }
    return Fail();
  }
  bool Exists(const char* name, bool* isFolder) override {
    struct stat info;
    if (::stat(NativeName(name).c_str(), &info) != 0) return Fail();
    if (isFolder) *isFolder = S_ISDIR(info.st_mode);
    return true;
  }
  bool CopyFileReplacing(const char* from, const char* to) override {
    const std::string source = NativeName(from);
    const std::string target = NativeName(to);
    const std::string temporary = target + ".zrcopy";
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return Fail();
    struct stat info;
    if (::fstat(in, &info) != 0) {
      Fail();
      ::close(in);
      return false;
    }
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, info.st_mode & 0777);
    if (out < 0) {
      Fail();
      ::close(in);
      return false;
    }
    // Through a temporary file beside the target: a failure leaves the old target whole.
    std::string buffer(1 << 16, '\0');
    bool ok = true;
    for (;;) {
      const ssize_t got = ::read(in, &buffer[0], buffer.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ok = got == 0 || Fail();
        break;
      }
      std::uint32_t put = 0;
      if (!Write(ToHandle(out), buffer.data(), static_cast<std::uint32_t>(got), &put)) {
        ok = false;
        break;
      }
    }
    ::close(in);
    ok = ok && (::fsync(out) == 0 || Fail());
    ok = (::close(out) == 0 || Fail()) && ok;
    ok = ok && (::rename(temporary.c_str(), target.c_str()) == 0 || Fail());
    if (!ok) {
      const int error = lastError;
      ::unlink(temporary.c_str());
      lastError = error;
    }
    return ok;
  }
  bool FreeSpace(const char* name, std::uint64_t* bytes) override {
    // The nearest folder on the path that exists tells the volume.
    std::string path = NativeName(name);
    struct statvfs info;
    while (::statvfs(path.empty() ? "/" : path.c_str(), &info) != 0) {
      if (errno != ENOENT || path.empty() || path == "/") return Fail();
      const std::size_t slash = path.find_last_of('/');
      path = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    }
    *bytes = static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
    return true;
  }
  bool ActualName(const char* name, std::string* actual) override {
    // The mapping to a native path already chose the entry's real spelling.
    const std::string path = NativeName(name);
    struct stat info;
    if (path.empty() || ::lstat(path.c_str(), &info) != 0) return Fail();
    const std::size_t slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    *actual = path.substr(slash == std::string::npos ? 0 : slash + 1);
    while (actual->size() > 1 && actual->back() == '/') actual->pop_back();
    return true;
  }
  bool CurrentFolder(std::string* folder) override {
    char buffer[4096];
    if (!::getcwd(buffer, sizeof buffer)) return Fail();
    *folder = buffer;
    return true;
  }
  bool SetCurrentFolder(const char* name) override { return ::chdir(NativeName(name).c_str()) == 0 || Fail(); }
  bool ResolvedPath(const char* name, std::string* path) override {
    const std::string native = NativeName(name);
    char* resolved = ::realpath(native.empty() ? "/" : native.c_str(), nullptr);
    if (!resolved) return Fail();
    *path = resolved;
    std::free(resolved);
    return true;
  }
  bool IsLink(const char* name) override {
    struct stat info;
    return ::lstat(NativeName(name).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
  }
  bool CanCreateFileIn(const char* name) override {
    struct stat info;
    const std::string path = NativeName(name);
    if (::stat(path.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode)) {
      errno = ENOTDIR;
      return false;
    }
    return ::access(path.c_str(), W_OK | X_OK) == 0;
  }
  bool ListFolder(const char* name, void (*visit)(const FolderEntry& entry, void* context),
                  void* context) override {
    std::string path = NativeName(name);
    DIR* folder = ::opendir(path.c_str());
    if (!folder) return Fail();
    while (struct dirent* item = ::readdir(folder)) {
      if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
      FolderEntry entry{};
      std::snprintf(entry.name, sizeof entry.name, "%s", item->d_name);
      struct stat info;
      std::string full = path + "/" + item->d_name;
      entry.isFolder = ::stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
      entry.isLink = ::lstat(full.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
      visit(entry, context);
    }
    ::closedir(folder);
    return true;
  }

  bool MapView(FileHandle handle, std::uint64_t offset, std::size_t size, MappedView* view) override {
    *view = MappedView();
    if (size == 0) return true;
    const std::uint64_t granularity = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset - offset % granularity;
    const std::size_t lead = static_cast<std::size_t>(offset - start);
    void* base = ::mmap(nullptr, size + lead, PROT_READ, MAP_SHARED, ToFd(handle), static_cast<off_t>(start));
    if (base == MAP_FAILED) return Fail();
    SetMappedView(view, base, lead, size);
    return true;
  }
  void UnmapView(MappedView* view) override {
    if (view->base) ::munmap(view->base, view->mappedSize);
    *view = MappedView();
  }

  int LastError() override { return lastError; }
  FileError ErrorKind(int systemError) override {
    switch (systemError) {
      case 0: return FileError::None;
      case ENOENT: case ENOTDIR: return FileError::NotFound;
      case EACCES: case EPERM: case EROFS: case ETXTBSY: case EBUSY: return FileError::AccessDenied;
      case ENOSPC: case EDQUOT: case EFBIG: return FileError::DiskFull;
      case EIO: return FileError::IoError;
      default: return FileError::Other;
    }
  }
  void ErrorText(int systemError, char* buffer, std::size_t bufferSize) override {
    if (bufferSize == 0) return;
    std::snprintf(buffer, bufferSize, "%s", std::strerror(systemError));
  }
};

}  // namespace

FileSystem* NativeFileSystem() {
  static PosixFileSystem fileSystem;
  return &fileSystem;
}

}  // namespace platform
