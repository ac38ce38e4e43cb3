// Large blocks keep a cache of freed ones: a block the system hands out fresh costs a page fault for
// every 4 KiB on first touch where the system backs it with small pages (no transparent huge pages),
// and a config tree loaded, freed and loaded again would pay that every time. Up to kCachedBlocks
// freed blocks are kept, zeroed again when reused, so the contract stays "zero-filled".
#include <cstring>
#include <mutex>

#include "platform/largeBlockSystem.h"
#include "platform/processMemory.h"

namespace platform {
namespace {

constexpr int kCachedBlocks = 64;  // 128 MiB at most stays with the process

std::mutex& CacheLock() {
  static std::mutex* lock = new std::mutex;  // lives as long as the process, for frees at exit
  return *lock;
}
void* cached[kCachedBlocks];
int cachedCount = 0;

}  // namespace

void* AllocateLargeBlock() {
  void* block = nullptr;
  {
    std::lock_guard<std::mutex> hold(CacheLock());
    if (cachedCount > 0) block = cached[--cachedCount];
  }
  if (!block) return MapLargeBlock();
  std::memset(block, 0, kLargeBlockSize);
  return block;
}

void FreeLargeBlock(void* block) {
  if (!block) return;
  {
    std::lock_guard<std::mutex> hold(CacheLock());
    if (cachedCount < kCachedBlocks) {
      cached[cachedCount++] = block;
      return;
    }
  }
  UnmapLargeBlock(block);
}

}  // namespace platform
