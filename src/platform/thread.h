#pragma once
// Threads: the patch worker runs on a thread of its own with a large stack while the first thread keeps
// the progress window alive. The process-wide `ThreadSystem` starts, waits for and prioritises threads;
// tests replace it (SetThreadSystem) to make a start fail.
//
// Handles are opaque; each must be closed with Close. A thread's handles stay valid after it ended, and
// any number of them may wait for it.

#include <cstdint>  // std::intptr_t, std::uint32_t

namespace platform {

using ThreadHandle = std::intptr_t;
constexpr ThreadHandle kNoThread = 0;

// A thread's routine; what it returns becomes the thread's exit code.
using ThreadRoutine = std::uint32_t (*)(void* argument);

// Priority levels, from lowest to highest; 0 is normal. Levels outside the range are clamped to it.
constexpr int kLowestThreadPriority = -3;
constexpr int kHighestThreadPriority = 3;

// `level` clamped to kLowestThreadPriority..kHighestThreadPriority.
int ClampThreadPriority(int level);

class ThreadSystem {
 public:
  virtual ~ThreadSystem() = default;

  // Starts routine(argument) on a new thread whose stack holds `stackSize` bytes; a negative size, or
  // 0, means the system's default. kNoThread when the thread cannot be created.
  // Linux: the size is rounded up to whole pages and to the system's minimum.
  virtual ThreadHandle Start(int stackSize, ThreadRoutine routine, void* argument) = 0;
  // Waits without time limit until the thread has ended. False when it cannot be waited for.
  // Linux: a duplicate of a thread this seam did not start (the first thread) waits until that
  // thread ends, which for the first thread is never.
  virtual bool Wait(ThreadHandle thread) = 0;
  // The exit code of an ended thread. False when it cannot be read, also while the thread still runs.
  virtual bool ExitCode(ThreadHandle thread, std::uint32_t* code) = 0;
  // A new handle to the calling thread, usable from any thread.
  virtual ThreadHandle DuplicateCurrent() = 0;
  // Sets the thread's priority from `level` (clamped) through a table of seven system priorities.
  // Linux: the table holds nice values of the thread alone; raising a priority needs privileges the
  // program may lack, and such a refusal leaves the priority as it was and still returns true.
  virtual bool SetPriority(ThreadHandle thread, int level) = 0;
  // The thread's priority as a level: the table's entry nearest to the system's value.
  virtual bool Priority(ThreadHandle thread, int* level) = 0;
  // Releases the handle; the thread itself is not affected.
  virtual void Close(ThreadHandle thread) = 0;
};

// The process-wide thread system; never null.
ThreadSystem* CurrentThreadSystem();
// Replaces it (null restores the platform's own) and returns the previous one.
ThreadSystem* SetThreadSystem(ThreadSystem* threads);
// The platform's own implementation, for wrappers that inject faults and forward the rest.
ThreadSystem* NativeThreadSystem();

// For the implementations: the level whose table entry is nearest to `value` in a table of seven
// ascending or descending values, one per level from lowest to highest.
int NearestThreadPriority(const int (&table)[7], int value);

}  // namespace platform
