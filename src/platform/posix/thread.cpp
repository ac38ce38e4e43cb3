// Threads on Linux: detached pthreads whose end is published in a record shared by the thread and every
// handle to it, so that any number of handles may wait, read the exit code and outlive the thread, as
// Windows thread handles do. Priorities are per-thread nice values.
#include "platform/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>

namespace platform {
namespace {

// Nice values for the levels -3..3: a lower nice value is a higher priority.
const int kNiceValues[7] = {19, 10, 5, 0, -5, -10, -20};

struct ThreadRecord {
  std::atomic<int> references{1};
  std::mutex lock;
  std::condition_variable changed;
  pid_t id = 0;  // the kernel's thread id, once the thread has published it
  bool ended = false;
  bool exitCodeKnown = false;
  std::uint32_t exitCode = 0;
  ThreadRoutine routine = nullptr;
  void* argument = nullptr;
};

ThreadRecord* ToRecord(ThreadHandle thread) { return reinterpret_cast<ThreadRecord*>(thread); }

ThreadHandle AddReference(ThreadRecord* record) {
  record->references.fetch_add(1);
  return reinterpret_cast<ThreadHandle>(record);
}

void Release(ThreadRecord* record) {
  if (record && record->references.fetch_sub(1) == 1) delete record;
}

void Publish(ThreadRecord* record, bool ended, bool exitCodeKnown, std::uint32_t exitCode) {
  std::lock_guard<std::mutex> guard(record->lock);
  if (ended) {
    record->ended = true;
    record->exitCodeKnown = exitCodeKnown;
    record->exitCode = exitCode;
  } else {
    record->id = ::gettid();
  }
  record->changed.notify_all();
}

// The record of the calling thread when this seam started it.
thread_local ThreadRecord* startedRecord = nullptr;

// The record of a thread this seam did not start, made by its first DuplicateCurrent and marked ended
// (without an exit code) when the thread ends.
struct OtherThread {
  ThreadRecord* record = nullptr;
  ~OtherThread() {
    if (!record) return;
    Publish(record, true, false, 0);
    Release(record);
  }
};
thread_local OtherThread otherThread;

void* RunRoutine(void* parameter) {
  ThreadRecord* record = static_cast<ThreadRecord*>(parameter);
  startedRecord = record;
  Publish(record, false, false, 0);
  const std::uint32_t exitCode = record->routine(record->argument);
  startedRecord = nullptr;
  Publish(record, true, true, exitCode);
  Release(record);
  return nullptr;
}

std::size_t StackBytes(int stackSize) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::size_t bytes = static_cast<std::size_t>(stackSize);
  const std::size_t minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  if (bytes < minimum) bytes = minimum;
  return (bytes + page - 1) / page * page;
}

// The thread's kernel id once it has published it; 0 when the thread has ended.
pid_t RunningThreadId(ThreadRecord* record) {
  std::unique_lock<std::mutex> guard(record->lock);
  record->changed.wait(guard, [record] { return record->id != 0 || record->ended; });
  return record->ended ? 0 : record->id;
}

class PosixThreadSystem : public ThreadSystem {
 public:
  ThreadHandle Start(int stackSize, ThreadRoutine routine, void* argument) override {
    ThreadRecord* record = new ThreadRecord;
    record->references = 2;  // the thread's and the caller's
    record->routine = routine;
    record->argument = argument;
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
      delete record;
      return kNoThread;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int error = 0;
    if (stackSize > 0) error = pthread_attr_setstacksize(&attributes, StackBytes(stackSize));
    pthread_t thread;
    if (error == 0) error = pthread_create(&thread, &attributes, RunRoutine, record);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
      delete record;
      return kNoThread;
    }
    return reinterpret_cast<ThreadHandle>(record);
  }

  bool Wait(ThreadHandle thread) override {
    ThreadRecord* record = ToRecord(thread);
    if (!record) return false;
    std::unique_lock<std::mutex> guard(record->lock);
    record->changed.wait(guard, [record] { return record->ended; });
    return true;
  }

  bool ExitCode(ThreadHandle thread, std::uint32_t* code) override {
    ThreadRecord* record = ToRecord(thread);
    if (!record) return false;
    std::lock_guard<std::mutex> guard(record->lock);
    if (!record->ended || !record->exitCodeKnown) return false;
    *code = record->exitCode;
    return true;
  }

  ThreadHandle DuplicateCurrent() override {
    if (startedRecord) return AddReference(startedRecord);
    if (!otherThread.record) {
      otherThread.record = new ThreadRecord;
      otherThread.record->id = ::gettid();
    }
    return AddReference(otherThread.record);
  }

  bool SetPriority(ThreadHandle thread, int level) override {
    ThreadRecord* record = ToRecord(thread);
    if (!record) return false;
    const pid_t id = RunningThreadId(record);
    if (id == 0) return false;
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, static_cast<id_t>(id));
    if (now == -1 && errno != 0) return false;
    const int nice = kNiceValues[ClampThreadPriority(level) - kLowestThreadPriority];
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice) == 0) return true;
    // Without the privilege to raise priorities the thread keeps the one it has.
    return (errno == EACCES || errno == EPERM) && nice < now;
  }

  bool Priority(ThreadHandle thread, int* level) override {
    ThreadRecord* record = ToRecord(thread);
    if (!record) return false;
    const pid_t id = RunningThreadId(record);
    if (id == 0) return false;
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, static_cast<id_t>(id));
    if (now == -1 && errno != 0) return false;
    *level = NearestThreadPriority(kNiceValues, now);
    return true;
  }

  void Close(ThreadHandle thread) override { Release(ToRecord(thread)); }
};

}  // namespace

ThreadSystem* NativeThreadSystem() {
  static PosixThreadSystem threads;
  return &threads;
}

}  // namespace platform
