// Threads on Windows: CreateThread, handles duplicated with the same access.
#include "platform/thread.h"

#include <windows.h>

namespace platform {
namespace {

HANDLE ToHandle(ThreadHandle thread) { return reinterpret_cast<HANDLE>(thread); }

// Priorities for the levels -3..3.
const int kPriorities[7] = {
    THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,
    THREAD_PRIORITY_NORMAL,       THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
    THREAD_PRIORITY_TIME_CRITICAL,
};

// The routine and its argument, handed to the new thread (the system calls its routines with its own
// calling convention, so a routine of ours goes through this one).
struct StartBlock {
  ThreadRoutine routine;
  void* argument;
};

DWORD WINAPI RunRoutine(LPVOID parameter) {
  StartBlock block = *static_cast<StartBlock*>(parameter);
  delete static_cast<StartBlock*>(parameter);
  return block.routine(block.argument);
}

HANDLE DuplicateSameAccess(HANDLE handle) {
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return duplicate;
}

class Win32ThreadSystem : public ThreadSystem {
 public:
  ThreadHandle Start(int stackSize, ThreadRoutine routine, void* argument) override {
    StartBlock* block = new StartBlock{routine, argument};
    DWORD id = 0;
    HANDLE created = CreateThread(nullptr, stackSize < 0 ? 0 : static_cast<SIZE_T>(stackSize), RunRoutine,
                                  block, 0, &id);
    if (!created) {
      delete block;
      return kNoThread;
    }
    // The caller gets a duplicate with the same access; the handle creation returned is closed. Should
    // duplication fail, the created handle serves as well.
    HANDLE duplicate = DuplicateSameAccess(created);
    if (!duplicate) return reinterpret_cast<ThreadHandle>(created);
    CloseHandle(created);
    return reinterpret_cast<ThreadHandle>(duplicate);
  }

  bool Wait(ThreadHandle thread) override {
    return WaitForSingleObject(ToHandle(thread), INFINITE) == WAIT_OBJECT_0;
  }

  bool ExitCode(ThreadHandle thread, std::uint32_t* code) override {
    DWORD value = 0;
    if (!GetExitCodeThread(ToHandle(thread), &value)) return false;
    if (value == STILL_ACTIVE && WaitForSingleObject(ToHandle(thread), 0) == WAIT_TIMEOUT) return false;
    *code = value;
    return true;
  }

  ThreadHandle DuplicateCurrent() override {
    return reinterpret_cast<ThreadHandle>(DuplicateSameAccess(GetCurrentThread()));
  }

  bool SetPriority(ThreadHandle thread, int level) override {
    const int index = ClampThreadPriority(level) - kLowestThreadPriority;
    return SetThreadPriority(ToHandle(thread), kPriorities[index]) != 0;
  }

  bool Priority(ThreadHandle thread, int* level) override {
    const int value = GetThreadPriority(ToHandle(thread));
    if (value == THREAD_PRIORITY_ERROR_RETURN) return false;
    *level = NearestThreadPriority(kPriorities, value);
    return true;
  }

  void Close(ThreadHandle thread) override {
    if (thread != kNoThread) CloseHandle(ToHandle(thread));
  }
};

}  // namespace

ThreadSystem* NativeThreadSystem() {
  static Win32ThreadSystem threads;
  return &threads;
}

}  // namespace platform
