#include "platform/runLock.h"

#include <windows.h>

#include "platform/win32/wideText.h"

namespace platform {

LockResult RunLock::Acquire(const std::string& path, std::string* error) {
  Release();
  // Not shared with anyone, and deleted by the system when the last handle closes, crash included.
  const HANDLE file = CreateFileW(WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    handle_ = reinterpret_cast<std::intptr_t>(file);
    path_ = path;
    return LockResult::Acquired;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) {
    // A file being deleted on close by another run refuses new opens with access denied too.
    const DWORD attributes = GetFileAttributesW(WideText(path).c_str());
    if (code == ERROR_SHARING_VIOLATION || attributes != INVALID_FILE_ATTRIBUTES) return LockResult::HeldElsewhere;
  }
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
  *error = "cannot open " + path + ": " + reason;
  return LockResult::Failed;
}

void RunLock::Release() {
  if (handle_ == kNone) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNone;
}

}  // namespace platform
