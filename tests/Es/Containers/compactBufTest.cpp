#include "Es/Containers/compactBuf.h"

#include <gtest/gtest.h>

#include <string>

TEST(RefString, EmptyTextHasNoBlockAndEqualsNone) {
  RefString none;
  RefString empty("");
  RefString cut("abc", 0);
  RefString null(nullptr);
  EXPECT_EQ(empty.Block(), nullptr);
  EXPECT_EQ(cut.Block(), nullptr);
  EXPECT_EQ(null.Block(), nullptr);
  EXPECT_EQ(empty, none);
  EXPECT_EQ(empty.GetLength(), 0);
  EXPECT_STREQ(none.Data(), "");
  EXPECT_TRUE(none.IsEmpty());
}

TEST(RefString, CopiesShareOneBlockCountedByHolders) {
  RefString a("config.bin");
  ASSERT_NE(a.Block(), nullptr);
  EXPECT_EQ(a.RefCounter(), 1);
  EXPECT_EQ(a.Block()->size, 11);  // length + 1
  {
    RefString b = a;
    RefString c;
    c = b;
    EXPECT_EQ(b.Block(), a.Block());
    EXPECT_EQ(c.Block(), a.Block());
    EXPECT_EQ(a.RefCounter(), 3);
    c = c;  // self-assignment keeps the block alive
    EXPECT_EQ(a.RefCounter(), 3);
    EXPECT_STREQ(c.Data(), "config.bin");
  }
  EXPECT_EQ(a.RefCounter(), 1);
  RefString moved = std::move(a);
  EXPECT_EQ(moved.RefCounter(), 1);
  EXPECT_EQ(a.Block(), nullptr);  // NOLINT: the moved-from string reads as empty
  EXPECT_EQ(moved, "config.bin");
  EXPECT_NE(moved, RefString("Config.bin"));  // comparison is exact
}

TEST(RefString, LengthCutsAndFormattingBounds) {
  RefString cut("abcdef", 3);
  EXPECT_EQ(cut, "abc");
  EXPECT_EQ(cut.GetLength(), 3);
  RefString stopsAtNul("ab\0cd", 5);
  EXPECT_EQ(stopsAtNul.GetLength(), 2);
  EXPECT_EQ(RefString::FromNumber(-42), "-42");
  EXPECT_EQ(RefString::Format("%s(%d)", "array", 7), "array(7)");
  const std::string longText(3000, 'x');
  EXPECT_EQ(RefString::Format("%s", longText.c_str()).GetLength(), 1023);
  RefString buffer = RefString::WithCapacity(8);
  ASSERT_NE(buffer.MutableData(), nullptr);
  std::strcpy(buffer.MutableData(), "patch");
  EXPECT_EQ(buffer, "patch");
  RefString shared = buffer;
  EXPECT_EQ(buffer.MutableData(), nullptr);  // shared blocks never change
}

TEST(SizeText, EveryBoundary) {
  const struct {
    std::uint32_t amount;
    const char* text;
  } cases[] = {
      {0, "0 B"},           {999, "999 B"},          {1000, "1.0 KB"},       {9727, "9.5 KB"},
      {9728, "10 KB"},      {1023487, "999 KB"},     {1023488, "1.0 MB"},    {9961471, "9.5 MB"},
      {9961472, "10 MB"},   {1048051711, "999 MB"},  {1048051712, "1.0 GB"}, {4294967295u, "4.0 GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(SizeText(c.amount).Data()), c.text) << c.amount;
}
