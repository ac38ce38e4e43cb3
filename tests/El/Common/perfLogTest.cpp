#include "El/Common/perfLog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/captureDiagnostics.h"
#include "support/tempFolder.h"

TEST(PerfCounters, RegistrationFindsCutsAndRunsOutOfSlots) {
  CaptureDiagnostics capture;
  PerfCounters counters("unused.spf");
  int first = counters.Register("ssDec", "other", 1);
  EXPECT_EQ(counters.Register("ssDec", "other", 1), first);  // registering again finds it
  const std::string longName(40, 'n');
  int cut = counters.Register(longName.c_str(), "a-very-long-category-name", 1024);
  EXPECT_EQ(std::string(counters.Counter(cut)->name), std::string(31, 'n'));
  EXPECT_EQ(std::string(counters.Counter(cut)->category), "a-very-long-cat");
  for (int i = counters.CounterCount(); i < kPerfCounterSlots; ++i) {
    ASSERT_GE(counters.Register(("c" + std::to_string(i)).c_str(), "x", 1), 0);
  }
  EXPECT_EQ(counters.Register("one-too-many", "x", 1), -1);
  ASSERT_EQ(capture.lines.size(), 1u);
  EXPECT_NE(capture.lines[0].find(") : No more counters enabled\n"), std::string::npos);
  counters.Count(first, 5);
  counters.Count(first, 7);
  counters.Count(-1, 100);  // an unregistered counter counts nothing
  EXPECT_EQ(counters.Counter(first)->value, 12);
  EXPECT_EQ(counters.Counter(first)->hits, 2);
}

TEST(PerfCounters, FrameLinesScaleValuesAndRepeatTheHeader) {
  TempFolder folder;
  const std::string file = folder.File("timing.spf");
  {
    PerfCounters counters(file.c_str());
    int bytes = counters.Register("bytesRead", "io", 1024);
    counters.Register("hidden", "*special", 1);
    counters.Enable(true);
    for (int frame = 0; frame < 31; ++frame) {
      counters.Count(bytes, 4096);
      counters.Frame(0.0001, 3, 2);  // 10000 frames a second: capped at 999
    }
    counters.Enable(false);
    EXPECT_EQ(counters.Counter(bytes)->value, 0);  // each frame starts again
  }
  std::ifstream in(file);
  std::string line;
  int headers = 0, frames = 0;
  while (std::getline(in, line)) {
    if (line.find("bytesR") != std::string::npos) {
      ++headers;
      EXPECT_EQ(line.find("hidden"), std::string::npos);
    } else {
      ++frames;
      std::istringstream fields(line);
      double fps = 0;
      int alloc = 0, freed = 0, value = 0;
      fields >> fps >> alloc >> freed >> value;
      EXPECT_EQ(fps, 999);
      EXPECT_EQ(alloc, 3);
      EXPECT_EQ(freed, 2);
      EXPECT_EQ(value, 4);  // 4096 / 1024
    }
  }
  EXPECT_EQ(frames, 31);
  EXPECT_EQ(headers, 2);  // at the start and after 30 lines
}

TEST(PerfCounters, EventsStartWithTheMemoryCounters) {
  PerfCounters& events = GPerfEvents();
  for (const char* name : {"mSize", "tHeap", "tGRAM"}) {
    int index = events.Find(name);
    ASSERT_GE(index, 0) << name;
    EXPECT_STREQ(events.Counter(index)->category, "\"other\"");
    EXPECT_EQ(events.Counter(index)->scale, 1024);
  }
}
