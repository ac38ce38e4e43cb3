#include "patch/checksumList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using patch::ChecksumRecord;
using patch::ParseChecksumList;

TEST(ChecksumList, FieldsReadAsTheCLibraryReadsHexadecimal) {
  const auto records = ParseChecksumList(
      "A.PAK 1234abcd\n"
      "B.PAK 0X1234ABCD  ffffffff 0x0\n"     // several, either case, "0x" prefix
      "C.PAK zz\n"                           // no digits: 00000000
      "D.PAK 123456789\n"                    // past 32 bits: ffffffff
      "E.PAK 1 2 ZZ 3\n"                     // a field that is not hexadecimal ends the list
      "F.PAK -1\n"                           // the C library negates
      "G.PAK 0xZ\n"                          // "0x" without digits reads 0
      "NOBLANK\n"
      "H.PAK 00000001 \r\n"                  // CRLF
      "TAIL.PAK 1",                          // no line feed: not read
      "", {});
  ASSERT_EQ(records.size(), 8u);
  EXPECT_EQ(records[0].checksums, std::vector<std::uint32_t>{0x1234abcdu});
  EXPECT_EQ(records[1].checksums, (std::vector<std::uint32_t>{0x1234abcdu, 0xffffffffu, 0u}));
  EXPECT_EQ(records[2].checksums, std::vector<std::uint32_t>{0u});
  EXPECT_EQ(records[3].checksums, std::vector<std::uint32_t>{0xffffffffu});
  EXPECT_EQ(records[4].checksums, (std::vector<std::uint32_t>{1u, 2u}));
  EXPECT_EQ(records[5].checksums, std::vector<std::uint32_t>{0xffffffffu});
  EXPECT_EQ(records[6].checksums, std::vector<std::uint32_t>{0u});
  EXPECT_EQ(records[7].name, "H.PAK");
  EXPECT_EQ(records[7].checksums, std::vector<std::uint32_t>{1u});
}

TEST(ChecksumList, ToleratedFilesDistributionsAndFilters) {
  const std::string list =
      "+DATA\\OPTIONAL.PAK 1234ABCD\n"
      "X.PAK.#GERMAN AAAA\n"
      "X.PAK BBBB\n"
      "Y.PAK.#CZECH 1\n";
  auto records = ParseChecksumList(list, "", {"GERMAN"});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0].tolerated);
  EXPECT_EQ(records[0].name, "DATA\\OPTIONAL.PAK");
  EXPECT_EQ(records[1].name, "X.PAK");
  EXPECT_EQ(records[1].checksums[0], 0xAAAAu);
  EXPECT_EQ(records[1].rank, 0);

  records = ParseChecksumList(list, "", {"USA"});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].checksums[0], 0xBBBBu);
  EXPECT_EQ(records[1].rank, patch::kNoRank);

  records = ParseChecksumList(list, "", {});  // no list: the first line for the file counts
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].checksums[0], 0xAAAAu);
  EXPECT_EQ(records[2].name, "Y.PAK");

  // A filter picks one file's lines, ignoring case and the distribution suffix.
  records = ParseChecksumList(list, "x.pak", {"GERMAN"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].checksums[0], 0xAAAAu);
  records = ParseChecksumList(list, "data\\optional.pak", {});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].tolerated);
}

TEST(ChecksumList, HostileListsAreReadSafely) {
  int ignored = 0;
  std::string list = std::string(2000, 'A') + " 1\nOK.PAK 2\n" + std::string(1023 - 4, 'B') + " 3\n";
  auto records = ParseChecksumList(list, "", {}, &ignored);
  EXPECT_EQ(ignored, 1);  // the 2000-character line; a line of exactly 1023 characters is read
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, "OK.PAK");
  EXPECT_EQ(records[1].checksums[0], 3u);

  EXPECT_TRUE(ParseChecksumList("", "", {}).empty());
  EXPECT_TRUE(ParseChecksumList("\n\n\r\n", "", {}).empty());
  records = ParseChecksumList(" 12\n+ 13\nA.PAK \n", "", {});  // empty names and a missing field
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, "");
  EXPECT_EQ(records[1].checksums, std::vector<std::uint32_t>{0u});
  records = ParseChecksumList(std::string("N.PAK 1\0 2\n", 11), "", {});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].checksums, std::vector<std::uint32_t>{1u});
}

TEST(ChecksumList, TenThousandFiles) {
  std::string list;
  for (int i = 0; i < 10000; ++i) list += "DATA\\FILE" + std::to_string(i) + ".PAK " + std::to_string(i) + "\n";
  const auto records = ParseChecksumList(list, "", {});
  ASSERT_EQ(records.size(), 10000u);
  EXPECT_EQ(records[9999].checksums[0], 0x9999u);
  EXPECT_EQ(ParseChecksumList(list, "data\\file5000.pak", {}).size(), 1u);
}

}  // namespace
