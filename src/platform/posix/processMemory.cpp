#include "platform/processMemory.h"

#include <unistd.h>

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
  return true;
}

}  // namespace platform
