#include "platform/processMemory.h"
#include "platform/largeBlockSystem.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace platform {

bool QueryProcessMemory(ProcessMemory* memory) {
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (!file) return false;
  unsigned long long pagesVirtual = 0, pagesResident = 0;
  const bool read = std::fscanf(file, "%llu %llu", &pagesVirtual, &pagesResident) == 2;
  std::fclose(file);
  if (!read) return false;
  const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  memory->workingSet = pagesResident * page;
  memory->committed = pagesVirtual * page;
  // The peak is only in the status file ("VmHWM:   1234 kB").
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[128];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, status)) {
      if (std::sscanf(line, "VmHWM: %llu kB", &kib) == 1) memory->peakWorkingSet = kib * 1024;
    }
    std::fclose(status);
  }
  return true;
}

void* MapLargeBlock() {
  // Mapped with room to spare, then cut to a block aligned to its size: only such a block can be one
  // huge page.
  const std::size_t mapped = 2 * kLargeBlockSize;
  void* map = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return nullptr;
  const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(map) + kLargeBlockSize - 1) & ~(kLargeBlockSize - 1);
  const std::size_t head = start - reinterpret_cast<std::uintptr_t>(map);
  if (head) ::munmap(map, head);
  if (mapped - head > kLargeBlockSize) {
    ::munmap(reinterpret_cast<char*>(start) + kLargeBlockSize, mapped - head - kLargeBlockSize);
  }
  void* block = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
  ::madvise(block, kLargeBlockSize, MADV_HUGEPAGE);  // advice only: without huge pages all still works
#endif
  return block;
}

void UnmapLargeBlock(void* block) {
  if (block) ::munmap(block, kLargeBlockSize);
}

}  // namespace platform
