#include "platform/runLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/machine.h"

namespace platform {

LockResult RunLock::Acquire(const std::string& path, std::string* error) {
  Release();
  std::string native;
  if (!ToNativePath(path.c_str(), &native)) {
    *error = path + ": not a path of the prefix";
    return LockResult::Failed;
  }
  // A run that ends removes the file while it holds the lock; one that opened the old file meanwhile
  // would hold a lock nobody else sees, so the lock counts only when it is on the file the name has.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      *error = "cannot open " + native + ": " + std::strerror(errno);
      return LockResult::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int cause = errno;
      ::close(fd);
      if (cause == EWOULDBLOCK) return LockResult::HeldElsewhere;
      *error = "cannot lock " + native + ": " + std::strerror(cause);
      return LockResult::Failed;
    }
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::lstat(native.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      handle_ = fd;
      path_ = native;
      return LockResult::Acquired;
    }
    ::close(fd);
  }
  *error = "the lock file " + native + " keeps being replaced";
  return LockResult::Failed;
}

void RunLock::Release() {
  if (handle_ == kNone) return;
  ::unlink(path_.c_str());
  ::close(static_cast<int>(handle_));
  handle_ = kNone;
}

}  // namespace platform
