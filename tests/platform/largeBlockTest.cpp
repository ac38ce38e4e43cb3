// Large blocks straight from the system: whole, zero-filled, writable, and returned.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/processMemory.h"

namespace {

TEST(LargeBlock, IsZeroedWritableAndPageAligned) {
  for (int round = 0; round < 3; ++round) {
    auto* block = static_cast<unsigned char*>(platform::AllocateLargeBlock());
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 4096, 0u);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[platform::kLargeBlockSize - 1], 0);
    std::memset(block, 0xA5, platform::kLargeBlockSize);
    EXPECT_EQ(block[platform::kLargeBlockSize / 2], 0xA5);
    platform::FreeLargeBlock(block);
  }
  platform::FreeLargeBlock(nullptr);
}

}  // namespace
