#include "platform/thread.h"

#include <cstdlib>

namespace platform {

namespace {
ThreadSystem* current = nullptr;
}

ThreadSystem* CurrentThreadSystem() { return current ? current : NativeThreadSystem(); }

ThreadSystem* SetThreadSystem(ThreadSystem* threads) {
  ThreadSystem* previous = CurrentThreadSystem();
  current = threads;
  return previous;
}

int ClampThreadPriority(int level) {
  if (level < kLowestThreadPriority) return kLowestThreadPriority;
  if (level > kHighestThreadPriority) return kHighestThreadPriority;
  return level;
}

int NearestThreadPriority(const int (&table)[7], int value) {
  int nearest = 0;
  for (int i = 1; i < 7; ++i) {
    if (std::abs(table[i] - value) < std::abs(table[nearest] - value)) nearest = i;
  }
  return nearest + kLowestThreadPriority;
}

}  // namespace platform
