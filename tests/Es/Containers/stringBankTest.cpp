#include "Es/Containers/stringBank.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/captureDiagnostics.h"

TEST(RStringBank, EqualTextsShareOneBlock) {
  RStringBank bank;
  RefString a = bank.Share("Textures");
  RefString b = bank.Share("Textures");
  EXPECT_EQ(a.Block(), b.Block());
  EXPECT_EQ(bank.Count(), 1);
  EXPECT_EQ(bank.Find("Textures").Block(), a.Block());
  EXPECT_EQ(bank.Find("textures").Block(), nullptr);
  EXPECT_EQ(bank.Share("").Block(), nullptr);
}

TEST(RStringBank, CaseFoldedHashButExactEntries) {
  RStringBank bank;
  EXPECT_EQ(RStringBank::Hash("ABC"), RStringBank::Hash("abc"));
  EXPECT_EQ(RStringBank::Hash("a"), 97u);
  EXPECT_EQ(RStringBank::Hash("ab"), 97u * 33 + 98);
  RefString upper = bank.Share("Data");
  RefString lower = bank.Share("data");
  EXPECT_EQ(bank.BucketOf("Data"), bank.BucketOf("data"));
  EXPECT_NE(upper.Block(), lower.Block());
  EXPECT_EQ(bank.Bucket(bank.BucketOf("data")).Size(), 2);
  EXPECT_EQ(bank.Count(), 2);
}

TEST(RStringBank, TableAndBucketGrowth) {
  RStringBank single(1);
  for (int i = 0; i < 5; ++i) single.Share(RefString::FromNumber(i));
  EXPECT_EQ(single.BucketCount(), 1);
  EXPECT_EQ(single.Bucket(0).MaxSize(), 8);  // 1, 2, 4, 8
  RStringBank bank(3);
  for (int i = 0; i < 48; ++i) bank.Share(RefString::FromNumber(i));
  EXPECT_EQ(bank.BucketCount(), 3);
  bank.Share("48");  // 49 > 16 * 3: n = 4, 32 * 4 - 16 >= 49, so 2 * 4 - 1 buckets
  EXPECT_EQ(bank.BucketCount(), 7);
  for (int i = 0; i < 49; ++i) EXPECT_NE(bank.Find(RefString::FromNumber(i)).Block(), nullptr) << i;
  for (int i = 49; i < 2000; ++i) bank.Share(RefString::FromNumber(i));
  EXPECT_EQ(bank.BucketCount() % 2, 1);
  EXPECT_LE(bank.Count(), 16 * bank.BucketCount());
}

TEST(RStringBank, BankWithoutBucketsRefusesInsertions) {
  RStringBank bank(0);
  RefString text = bank.Share("x");
  EXPECT_EQ(text, "x");
  EXPECT_EQ(bank.Count(), 0);
  EXPECT_EQ(bank.BucketOf("x"), -1);
  EXPECT_EQ(bank.Find("x").Block(), nullptr);
}

TEST(RStringBank, ReleaseDropsTheLastOutsideHolderAndTeardownReportsLateOnes) {
  CaptureDiagnostics capture;
  RefString late;
  {
    RStringBank bank;
    RefString once = bank.Share("once");
    RefString twice = bank.Share("twice");
    RefString twiceAgain = twice;
    bank.ReleaseShared(once);  // the bank and this caller: dropped from the bank
    EXPECT_EQ(bank.Count(), 1);
    EXPECT_EQ(bank.Find("once").Block(), nullptr);
    bank.ReleaseShared(twice);  // still held by twiceAgain: stays
    EXPECT_EQ(bank.Count(), 1);
    late = twiceAgain;
  }
  EXPECT_TRUE(capture.Contains("RStringBank destruct\n"));
  EXPECT_TRUE(capture.Contains("Error: String twice late release (2)\n"));
  EXPECT_EQ(late.RefCounter(), 1);  // the bank let go of its share
}

TEST(RStringBank, LookupsStayRightThroughReleasesAndRehashes) {
  RStringBank bank(3);
  std::vector<RefString> held;
  for (int i = 0; i < 3000; ++i) {
    held.push_back(bank.Share(RefString::Format("Name%d", i)));
    // Every third text goes again while the table is still growing.
    if (i % 3 == 0) bank.ReleaseShared(held.back());
  }
  EXPECT_EQ(bank.Count(), 2000);
  for (int i = 0; i < 3000; ++i) {
    const RefString found = bank.Find(RefString::Format("Name%d", i));
    if (i % 3 == 0) {
      EXPECT_EQ(found.Block(), nullptr) << i;
    } else {
      EXPECT_EQ(found.Block(), held[static_cast<std::size_t>(i)].Block()) << i;
    }
    // Same hash, other case: a different text.
    EXPECT_EQ(bank.Find(RefString::Format("name%d", i)).Block(), nullptr) << i;
  }
  EXPECT_EQ(bank.Share("Name1").Block(), held[1].Block());
}
