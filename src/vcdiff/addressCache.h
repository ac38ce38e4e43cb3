#pragma once
// The address cache of a window: COPY addresses are coded relative to recent addresses (the near
// slots, filled round-robin) or as a byte that picks an exact recent address (the same blocks).
// The cache starts empty at every window.

#include <cstdint>
#include <memory>

#include "vcdiff/byteCursor.h"

namespace vcdiff {

class AddressCache {
 public:
  // Sizes come from the code table; false when memory runs out.
  bool Init(std::uint8_t nearSize, std::uint8_t sameSize);
  void Reset();

  // Reads the address of a COPY in `mode` from the address section and updates the cache. `here` is
  // the current position in the window's address space (source segment, then target). False when the
  // section runs out, the mode is unknown, or the address is not below `here`.
  bool Decode(std::uint64_t here, std::uint8_t mode, ByteCursor* section, std::uint64_t* address);

 private:
  enum : std::uint8_t { kSelf = 0, kHere = 1 };
  int nearSize_ = 0;
  int sameSize_ = 0;
  int nextNear_ = 0;
  std::uint64_t near_[256] = {};
  std::unique_ptr<std::uint64_t[]> same_;  // sameSize_ * 256 entries
};

}  // namespace vcdiff
