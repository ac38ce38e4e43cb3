#pragma once
// The lock that keeps two patch runs off one installation: a file beside the game's own that one run
// holds for as long as it may change the installation. Held through the system (Linux: an advisory
// lock on the open file; Windows: the file open without sharing and deleted when closed), so a run
// that crashed or was killed holds nothing: its file is stale and the next run takes it over.

#include <cstdint>
#include <string>

namespace platform {

enum class LockResult {
  Acquired,
  HeldElsewhere,  // another process holds it
  Failed          // the lock file cannot be made or opened; the cause in *error
};

class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { Release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock of `path` (a file name in the program's own form), making the file when missing.
  LockResult Acquire(const std::string& path, std::string* error);
  // Lets it go and removes the file; nothing when it is not held.
  void Release();
  bool Held() const { return handle_ != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  std::string path_;  // the system's form of the held file's name
};

}  // namespace platform
