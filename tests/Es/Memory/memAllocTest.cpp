#include "Es/Memory/memAlloc.h"

#include <gtest/gtest.h>

namespace {
class ReportingMemory : public MemFunctions {
 public:
  std::size_t FreeSpace() override { return 1234; }
};
}  // namespace

TEST(MemFunctions, DefaultsServeTheCHeapAndAnswerNeutrally) {
  MemFunctions* memory = GMemFunctions;
  ASSERT_EQ(memory, DefaultMemFunctions());
  void* block = memory->New(16, "file", 1);
  ASSERT_NE(block, nullptr);
  EXPECT_FALSE(memory->Resize(block, 32));  // callers must copy
  block = memory->Realloc(block, 64);
  ASSERT_NE(block, nullptr);
  memory->Delete(block);
  EXPECT_EQ(memory->GetPageRecommendedSize(), 8192u);
  EXPECT_EQ(memory->TotalAllocated(), 0u);
  EXPECT_EQ(memory->CheckIntegrity(), 1);
  EXPECT_TRUE(memory->IsHeapUsable());
  EXPECT_FALSE(memory->IsOutOfMemory());
  ReportingMemory reporting;
  EXPECT_EQ(reporting.FreeSpaceTotal(), 1234u);  // forwards to the overridable query
}
