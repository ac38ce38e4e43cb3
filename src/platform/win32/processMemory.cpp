#include "platform/processMemory.h"
#include "platform/largeBlockSystem.h"

#include <windows.h>
#include <psapi.h>

namespace platform {
namespace {

using GetProcessMemoryInfoFunction = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);

// psapi.dll is looked up on first use, so the program starts where it is missing.
GetProcessMemoryInfoFunction LookUp() {
  static bool looked = false;
  static GetProcessMemoryInfoFunction function = nullptr;
  if (!looked) {
    looked = true;
    if (HMODULE module = LoadLibraryA("psapi.dll")) {
      function = reinterpret_cast<GetProcessMemoryInfoFunction>(
          reinterpret_cast<void*>(GetProcAddress(module, "GetProcessMemoryInfo")));
    }
  }
  return function;
}

}  // namespace

bool QueryProcessMemory(ProcessMemory* memory) {
  GetProcessMemoryInfoFunction function = LookUp();
  if (!function) return false;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!function(GetCurrentProcess(), &counters, sizeof counters)) return false;
  memory->workingSet = counters.WorkingSetSize;
  memory->committed = counters.PagefileUsage;
  memory->peakWorkingSet = counters.PeakWorkingSetSize;
  return true;
}

void* MapLargeBlock() {
  // VirtualAlloc's blocks are aligned to 64 KiB; large pages would need a privilege players lack.
  return VirtualAlloc(nullptr, kLargeBlockSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void UnmapLargeBlock(void* block) {
  if (block) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace platform
