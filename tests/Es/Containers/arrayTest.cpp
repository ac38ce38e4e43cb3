#include "Es/Containers/array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Es/Containers/compactBuf.h"
#include "support/captureDiagnostics.h"

TEST(DynArray, GrowthSteps) {
  DynArray<int> items;
  std::vector<int> capacities;
  for (int i = 0; i < 300; ++i) {
    int before = items.MaxSize();
    items.Add(i);
    if (items.MaxSize() != before) capacities.push_back(items.MaxSize());
  }
  // count + 32 while the capacity is below 64, then count + capacity / 2.
  EXPECT_EQ(capacities, (std::vector<int>{32, 64, 96, 144, 216, 324}));
  for (int i = 0; i < 300; ++i) ASSERT_EQ(items[i], i);
  EXPECT_EQ(DynArray<int>::GrowthCapacity(5, 5), 37);
}

TEST(DynArray, DeletingOutsideTheArrayIsReportedAndChangesNothing) {
  CaptureDiagnostics capture;
  DynArray<int> items;
  for (int i = 0; i < 5; ++i) items.Add(i);
  items.Delete(5, 1);   // index = count
  items.Delete(-1, 1);
  items.Delete(3, 3);   // runs past the end
  items.Delete(0, -1);
  ASSERT_EQ(capture.lines.size(), 4u);
  for (const std::string& line : capture.lines) {
    EXPECT_EQ(line.rfind("array(", 0), 0u);
    EXPECT_NE(line.find(") : Array index out of range\n"), std::string::npos);
  }
  EXPECT_EQ(items.Size(), 5);
  items.Delete(1, 2);
  ASSERT_EQ(items.Size(), 3);
  EXPECT_EQ(items[0], 0);
  EXPECT_EQ(items[1], 3);
  EXPECT_EQ(items[2], 4);
  items.Delete(3, 0);  // an empty range at the end is fine
  EXPECT_EQ(capture.lines.size(), 4u);
}

TEST(DynArray, InlineBufferUntilItOverflowsAndBackOnShrink) {
  DynArray<RefString, 4> names;
  for (int i = 0; i < 4; ++i) names.Add(RefString::FromNumber(i));
  EXPECT_TRUE(names.UsesInlineBuffer());
  EXPECT_EQ(names.MaxSize(), 4);
  names.Add(RefString("four"));
  EXPECT_FALSE(names.UsesInlineBuffer());
  EXPECT_EQ(names[4], "four");
  EXPECT_EQ(names[0], "0");
  names.Realloc(3);  // destroys the items beyond, then fits inline again
  EXPECT_TRUE(names.UsesInlineBuffer());
  ASSERT_EQ(names.Size(), 3);
  EXPECT_EQ(names[2], "2");
  DynArray<RefString, 4> copy = names;
  EXPECT_EQ(copy[1].Block(), names[1].Block());
  DynArray<RefString, 4> moved = std::move(copy);
  EXPECT_EQ(moved[2], "2");
  EXPECT_EQ(names[1].RefCounter(), 2);  // names and moved; the moved-from copy holds none
}

TEST(DynArray, ItemsThatCannotMoveBytewiseAreMovedByConstruction) {
  DynArray<std::string> texts;
  for (int i = 0; i < 100; ++i) texts.Add(std::string(i % 3 ? 4 : 40, static_cast<char>('a' + i % 26)));
  texts.Delete(10, 20);
  ASSERT_EQ(texts.Size(), 80);
  EXPECT_EQ(texts[10], std::string(40, static_cast<char>('a' + 30 % 26)));  // item 30 moved down
  EXPECT_EQ(texts[11], std::string(4, static_cast<char>('a' + 31 % 26)));
  EXPECT_EQ(texts[0], std::string(40, 'a'));
  texts.Resize(2);
  EXPECT_EQ(texts.Size(), 2);
  texts.Clear();
  EXPECT_EQ(texts.MaxSize(), 0);
}

namespace {
class InPlaceMemory : public MemFunctions {
 public:
  bool Resize(void*, std::size_t) override {
    ++resizes;
    return false;
  }
  int resizes = 0;
};
}  // namespace

TEST(DynArray, ExactResizeAsksTheMemoryInterfaceFirst) {
  InPlaceMemory memory;
  MemFunctions* previous = GMemFunctions;
  GMemFunctions = &memory;
  {
    DynArray<int> items;
    items.Add(1);
    items.Realloc(100);
    EXPECT_EQ(memory.resizes, 1);
    EXPECT_EQ(items.MaxSize(), 100);
    EXPECT_EQ(items[0], 1);
  }
  GMemFunctions = previous;
}
