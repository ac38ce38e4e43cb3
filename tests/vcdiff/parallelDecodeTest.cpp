// Windows decoded on several threads give exactly what decoding them one after another gives: the same
// output, or the same failure (the first in delta order), whatever the thread count, including deltas
// whose windows copy from earlier output and deltas that are cut short or damaged.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "decodeInMemory.h"
#include "deltaBuilder.h"
#include "platform/thread.h"

namespace {

using namespace vcdifftest;
using vcdiff::DecodeStatus;

const int kThreadCounts[] = {2, 3, 4, 16};

// A source of `size` bytes of a fixed pattern.
std::string MakeSource(std::size_t size) {
  std::mt19937 random(7);
  std::string source(size, 0);
  for (char& byte : source) byte = static_cast<char>('a' + random() % 26);
  return source;
}

// `count` windows: most copy from the source (and from themselves), every `targetEvery`-th (0: none)
// copies from the output written before it. `target` receives the expected output.
std::string ManyWindowDelta(const std::string& source, int count, int targetEvery, std::string* target) {
  std::string delta = Header();
  target->clear();
  std::mt19937 random(11);
  for (int i = 0; i < count; ++i) {
    Window window;
    std::string produced;
    if (targetEvery > 0 && i > 0 && i % targetEvery == 0) {
      const std::uint64_t size = 1 + random() % std::min<std::size_t>(target->size(), 3000);
      const std::uint64_t position = random() % (target->size() - size + 1);
      window.From(kTarget, size, position).Copy(size, 0).Add("T" + std::to_string(i));
      produced = target->substr(position, size) + "T" + std::to_string(i);
    } else {
      const std::uint64_t size = 64 + random() % 4000;
      const std::uint64_t position = random() % (source.size() - size);
      const std::uint64_t part = size / 2;
      // Half the segment, some new bytes, a run, and a copy of the window's own start (overlapping).
      window.From(kSource, size, position).Copy(part, size - part).Add("w" + std::to_string(i)).Run('#', 5);
      produced = source.substr(position + size - part, part) + "w" + std::to_string(i) + "#####";
      window.Copy(part / 3, size);
      produced += produced.substr(0, part / 3);
    }
    delta += Encode(window, produced);
    *target += produced;
  }
  return delta;
}

void ExpectSameAsInOrder(const std::string& delta, const std::string& source, const std::string& what) {
  const Decoded inOrder = DecodeInMemory(delta, source, true, 1);
  for (int threads : kThreadCounts) {
    const Decoded parallel = DecodeInMemory(delta, source, true, threads);
    ASSERT_EQ(parallel.ok, inOrder.ok) << what << ", " << threads << " threads: " << parallel.error.text;
    EXPECT_EQ(parallel.error.status, inOrder.error.status) << what << ", " << threads << " threads";
    EXPECT_STREQ(parallel.error.text, inOrder.error.text) << what << ", " << threads << " threads";
    EXPECT_TRUE(parallel.target == inOrder.target) << what << ", " << threads << " threads";
  }
}

TEST(ParallelWindows, SameOutputAsInOrderWithAndWithoutTargetWindows) {
  const std::string source = MakeSource(100000);
  for (int targetEvery : {0, 1, 2, 7}) {
    std::string target;
    const std::string delta = ManyWindowDelta(source, 60, targetEvery, &target);
    const Decoded decoded = DecodeInMemory(delta, source, true, 4);
    ASSERT_TRUE(decoded.ok) << targetEvery << ": " << decoded.error.text;
    EXPECT_TRUE(decoded.target == target) << "target window every " << targetEvery;
    ExpectSameAsInOrder(delta, source, "target window every " + std::to_string(targetEvery));
  }
}

TEST(ParallelWindows, FailingWindowAmongOthersInFlightIsTheOneReported) {
  const std::string source = MakeSource(100000);
  std::string target;
  const std::string delta = ManyWindowDelta(source, 40, 0, &target);
  // A changed data byte of window 23 (its "w23" marker): its checksum no longer matches.
  std::string damaged = delta;
  damaged[damaged.find("w23#")] = 'x';
  Decoded decoded = DecodeInMemory(damaged, source, true, 4);
  ASSERT_FALSE(decoded.ok);
  EXPECT_EQ(decoded.error.status, DecodeStatus::Corrupt);
  EXPECT_NE(std::string(decoded.error.text).find("window 23: checksum mismatch"), std::string::npos)
      << decoded.error.text;
  // Exactly the windows before it reached the output.
  const std::size_t windowStart = target.find("w22#") + 4 + 5;
  EXPECT_EQ(target.compare(0, windowStart, decoded.target, 0, windowStart), 0);
  EXPECT_LE(decoded.target.size(), target.find("w23#"));
  EXPECT_GE(decoded.target.size(), target.find("w22#"));
  // With window 9 damaged as well, window 9 is reported, as in order.
  damaged[damaged.find("w9#")] = 'x';
  decoded = DecodeInMemory(damaged, source, true, 16);
  ASSERT_FALSE(decoded.ok);
  EXPECT_NE(std::string(decoded.error.text).find("window 9: checksum mismatch"), std::string::npos)
      << decoded.error.text;
  ExpectSameAsInOrder(damaged, source, "two damaged windows");
  // A window cut short behind others in flight.
  ExpectSameAsInOrder(delta.substr(0, delta.size() - 3), source, "cut inside the last window");
}

TEST(ParallelWindows, EveryPrefixAndDamagedByteGivesTheInOrderResult) {
  const std::string source = MakeSource(20000);
  std::string target;
  const std::string delta = ManyWindowDelta(source, 8, 3, &target);
  for (std::size_t size = 0; size < delta.size(); size += 3) {
    ExpectSameAsInOrder(delta.substr(0, size), source, "prefix of " + std::to_string(size));
  }
  std::mt19937 random(5);
  for (int i = 0; i < 150; ++i) {
    std::string damaged = delta;
    damaged[random() % damaged.size()] = static_cast<char>(random());
    ExpectSameAsInOrder(damaged, source, "damaged byte, round " + std::to_string(i));
  }
}

// A thread system that refuses to start threads: the decoder then decodes every window itself.
class RefusingThreads : public platform::ThreadSystem {
 public:
  platform::ThreadHandle Start(int, platform::ThreadRoutine, void*) override {
    ++refused;
    return platform::kNoThread;
  }
  bool Wait(platform::ThreadHandle) override { return false; }
  bool ExitCode(platform::ThreadHandle, std::uint32_t*) override { return false; }
  platform::ThreadHandle DuplicateCurrent() override { return platform::kNoThread; }
  bool SetPriority(platform::ThreadHandle, int) override { return false; }
  bool Priority(platform::ThreadHandle, int*) override { return false; }
  void Close(platform::ThreadHandle) override {}
  int refused = 0;
};

TEST(ParallelWindows, RefusedThreadsDecodeOnTheCallingThread) {
  const std::string source = MakeSource(50000);
  std::string target;
  const std::string delta = ManyWindowDelta(source, 20, 5, &target);
  RefusingThreads refusing;
  platform::ThreadSystem* previous = platform::SetThreadSystem(&refusing);
  const Decoded decoded = DecodeInMemory(delta, source, true, 4);
  platform::SetThreadSystem(previous == platform::NativeThreadSystem() ? nullptr : previous);
  EXPECT_GT(refusing.refused, 0);
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_TRUE(decoded.target == target);
}

}  // namespace
