#pragma once
// The process's own memory: its figures, for the performance counters, and large blocks straight from
// the system.

#include <cstddef>
#include <cstdint>

namespace platform {

struct ProcessMemory {
  std::uint64_t workingSet = 0;  // bytes resident
  std::uint64_t committed = 0;   // bytes committed (Windows page-file usage, Linux virtual size)
  std::uint64_t peakWorkingSet = 0;  // the most bytes resident so far (mapped file pages included)
};

// False when the figures cannot be had on this system.
bool QueryProcessMemory(ProcessMemory* memory);

// Size of the blocks below: 2 MiB.
constexpr std::size_t kLargeBlockSize = std::size_t(2) << 20;

// One block of kLargeBlockSize bytes from the system, zero-filled and page-aligned, or null when the
// system refuses. Where the system can back it with one huge page (Linux, transparent huge pages) it
// is aligned to its size and asked to be: first touching it then costs one page fault instead of 512.
void* AllocateLargeBlock();
// Returns a block from AllocateLargeBlock (null: nothing). A few freed blocks are kept for the next
// AllocateLargeBlock, which zeroes them: reusing one costs no page faults.
void FreeLargeBlock(void* block);

}  // namespace platform
