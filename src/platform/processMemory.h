#pragma once
// The process's own memory figures, for the performance counters.

#include <cstdint>

namespace platform {

struct ProcessMemory {
  std::uint64_t workingSet = 0;  // bytes resident
  std::uint64_t committed = 0;   // bytes committed (Windows page-file usage, Linux virtual size)
};

// False when the figures cannot be had on this system.
bool QueryProcessMemory(ProcessMemory* memory);

}  // namespace platform
