#include "vcdiff/addressCache.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace vcdiff {

bool AddressCache::Init(std::uint8_t nearSize, std::uint8_t sameSize) {
  if (!same_ || sameSize != sameSize_) {
    same_.reset();
    sameSize_ = 0;
    if (sameSize > 0) {
      same_.reset(new (std::nothrow) std::uint64_t[static_cast<std::size_t>(sameSize) * 256]);
      if (!same_) return false;
    }
  }
  nearSize_ = nearSize;
  sameSize_ = sameSize;
  Reset();
  return true;
}

void AddressCache::Reset() {
  nextNear_ = 0;
  std::fill(near_, near_ + 256, 0);
  if (same_) std::fill(same_.get(), same_.get() + static_cast<std::size_t>(sameSize_) * 256, 0);
}

bool AddressCache::Decode(std::uint64_t here, std::uint8_t mode, ByteCursor* section,
                          std::uint64_t* address) {
  std::uint64_t value = 0;
  if (mode == kSelf) {
    if (!section->ReadVarint(&value)) return false;
  } else if (mode == kHere) {
    std::uint64_t back;
    if (!section->ReadVarint(&back) || back > here) return false;
    value = here - back;
  } else if (mode < 2 + nearSize_) {
    std::uint64_t offset;
    if (!section->ReadVarint(&offset)) return false;
    const std::uint64_t base = near_[mode - 2];
    if (offset > UINT64_MAX - base) return false;
    value = base + offset;
  } else if (mode < 2 + nearSize_ + sameSize_) {
    std::uint8_t slot;
    if (!section->ReadByte(&slot)) return false;
    value = same_[static_cast<std::size_t>(mode - 2 - nearSize_) * 256 + slot];
  } else {
    return false;
  }
  if (value >= here) return false;
  if (nearSize_ > 0) {
    near_[nextNear_] = value;
    nextNear_ = (nextNear_ + 1) % nearSize_;
  }
  if (sameSize_ > 0) same_[value % (static_cast<std::uint64_t>(sameSize_) * 256)] = value;
  *address = value;
  return true;
}

}  // namespace vcdiff
