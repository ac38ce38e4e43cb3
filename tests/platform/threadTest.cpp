// Threads through the seam: the worker's large stack, exit codes seen through every handle, priorities.
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace {

// Touches 64 KiB of stack per level and checks on the way back that every level kept its bytes;
// returns the number of intact levels.
std::uint32_t Descend(int depth) {
  volatile unsigned char frame[64 * 1024];
  for (std::size_t i = 0; i < sizeof frame; i += 512) frame[i] = static_cast<unsigned char>(depth);
  const std::uint32_t below = depth > 0 ? Descend(depth - 1) : 0;
  for (std::size_t i = 0; i < sizeof frame; i += 512) {
    if (frame[i] != static_cast<unsigned char>(depth)) return below;
  }
  return below + 1;
}

// 16 MiB of stack: more than the default of either system.
std::uint32_t UseSixteenMiBOfStack(void*) { return Descend(255); }

TEST(Thread, WorkerStackOf32MiBHoldsSixteenMiB) {
  platform::ThreadSystem* threads = platform::NativeThreadSystem();
  platform::ThreadHandle thread = threads->Start(0x2000000, UseSixteenMiBOfStack, nullptr);
  ASSERT_NE(thread, platform::kNoThread);
  ASSERT_TRUE(threads->Wait(thread));
  std::uint32_t code = 0;
  ASSERT_TRUE(threads->ExitCode(thread, &code));
  EXPECT_EQ(code, 256u);
  threads->Close(thread);
}

struct Handover {
  std::uint32_t result = 0;
  std::atomic<bool> release{false};
  std::atomic<platform::ThreadHandle> self{platform::kNoThread};
};

std::uint32_t HandOverAndReturn(void* argument) {
  auto* handover = static_cast<Handover*>(argument);
  handover->self = platform::NativeThreadSystem()->DuplicateCurrent();
  while (!handover->release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return handover->result;
}

TEST(Thread, ExitCodeReachesEveryHandleAndOutlivesTheThread) {
  platform::ThreadSystem* threads = platform::NativeThreadSystem();
  for (int stackSize : {-5, 0, 100}) {  // negative: the default; tiny: the system's minimum
    Handover handover;
    handover.result = 0xC0DE0000u + static_cast<std::uint32_t>(stackSize + 10);
    platform::ThreadHandle thread = threads->Start(stackSize, HandOverAndReturn, &handover);
    ASSERT_NE(thread, platform::kNoThread);
    while (handover.self == platform::kNoThread) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::uint32_t code = 0;
    EXPECT_FALSE(threads->ExitCode(thread, &code)) << "the thread still runs";
    handover.release = true;

    ASSERT_TRUE(threads->Wait(thread));
    ASSERT_TRUE(threads->Wait(handover.self));
    ASSERT_TRUE(threads->ExitCode(thread, &code));
    EXPECT_EQ(code, handover.result);
    threads->Close(thread);
    code = 0;
    ASSERT_TRUE(threads->ExitCode(handover.self, &code));
    EXPECT_EQ(code, handover.result);
    threads->Close(handover.self);
  }
}

TEST(Thread, PriorityLevelsAreClampedToSevenSteps) {
  EXPECT_EQ(platform::ClampThreadPriority(-100), -3);
  EXPECT_EQ(platform::ClampThreadPriority(-3), -3);
  EXPECT_EQ(platform::ClampThreadPriority(2), 2);
  EXPECT_EQ(platform::ClampThreadPriority(4), 3);

  platform::ThreadSystem* threads = platform::NativeThreadSystem();
  Handover handover;
  platform::ThreadHandle thread = threads->Start(0, HandOverAndReturn, &handover);
  ASSERT_NE(thread, platform::kNoThread);
  // A new thread starts at the priority of the thread that made it.
  platform::ThreadHandle self = threads->DuplicateCurrent();
  int ownLevel = 99, level = 99;
  ASSERT_TRUE(threads->Priority(self, &ownLevel));
  threads->Close(self);
  ASSERT_TRUE(threads->Priority(thread, &level));
  EXPECT_EQ(level, ownLevel);
  // Lowering is always allowed; outside the range is the range's end.
  ASSERT_TRUE(threads->SetPriority(thread, -1));
  ASSERT_TRUE(threads->Priority(thread, &level));
  EXPECT_EQ(level, -1);
  ASSERT_TRUE(threads->SetPriority(thread, -70));
  ASSERT_TRUE(threads->Priority(thread, &level));
  EXPECT_EQ(level, -3);
  // Raising may be refused for want of privileges (Linux); the priority is then left as it was.
  ASSERT_TRUE(threads->SetPriority(thread, 70));
  ASSERT_TRUE(threads->Priority(thread, &level));
  EXPECT_TRUE(level == 3 || level == -3) << level;

  handover.release = true;
  ASSERT_TRUE(threads->Wait(thread));
  threads->Close(thread);
  while (handover.self == platform::kNoThread) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  threads->Close(handover.self);
}

}  // namespace
