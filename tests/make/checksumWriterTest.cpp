// Checksum lists from trees: the exact text, read back by the patch program's own list parser with
// checksums computed independently; empty files tolerated; two distributions merged.

#include "make/checksumWriter.h"

#include <gtest/gtest.h>

#include "El/QStream/crc32.h"
#include "makeTestSupport.h"
#include "patch/checksumList.h"
#include "support/tempFolder.h"

namespace {

using maketest::Write;

std::string Hex(const std::string& bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", Crc32Of(bytes.data(), bytes.size()));
  return text;
}

TEST(ChecksumWriter, OneTreeByteExactAndReadBack) {
  TempFolder folder;
  Write(folder.Path() / "tree" / "Game.exe", "MZ game");
  Write(folder.Path() / "tree" / "Data" / "Map.pak", "map bytes");
  Write(folder.Path() / "tree" / "Data" / "empty.dat", "");
  Write(folder.Path() / "tree" / "Logs" / "run.log", "log");
  std::vector<make::ChecksumTree> trees{{folder.File("tree"), ""}};
  make::ChecksumReport report;
  ASSERT_TRUE(make::WriteChecksumList(trees, "1.06", {"*.log"}, folder.File("payload"), &report));
  const std::string text = maketest::Read(folder.Path() / "payload" / "CRC" / "1.06" / "CRC.CRC");
  EXPECT_EQ(text, "+Data\\empty.dat 00000000\nData\\Map.pak " + Hex("map bytes") + "\nGame.exe " + Hex("MZ game") +
                      "\n+Logs\\run.log " + Hex("log") + "\n");
  EXPECT_EQ(report.lines, 4);
  EXPECT_EQ(report.tolerated, 2);
  EXPECT_EQ(report.emptyFiles, 1);

  const std::vector<patch::ChecksumRecord> records = patch::ParseChecksumList(text, "", {});
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1].name, "Data\\Map.pak");
  EXPECT_EQ(records[1].checksums, std::vector<std::uint32_t>{Crc32Of("map bytes", 9)});
  EXPECT_TRUE(records[0].tolerated);
  EXPECT_FALSE(records[2].tolerated);
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "payload" / "CRC" / "1.06" / "CRC.CRC.part"));
}

TEST(ChecksumWriter, TwoDistributions) {
  TempFolder folder;
  Write(folder.Path() / "en" / "Game.exe", "same");
  Write(folder.Path() / "de" / "game.exe", "same");
  Write(folder.Path() / "en" / "Local.pak", "english");
  Write(folder.Path() / "de" / "Local.pak", "deutsch");
  Write(folder.Path() / "de" / "Extra.pak", "only german");
  std::vector<make::ChecksumTree> trees{{folder.File("en"), "ENGLISH"}, {folder.File("de"), "GERMAN"}};
  std::string text;
  make::ChecksumReport report;
  ASSERT_TRUE(make::ChecksumListText(trees, {}, &text, &report));
  EXPECT_EQ(text, "Extra.pak.#GERMAN " + Hex("only german") + "\nGame.exe " + Hex("same") + "\nLocal.pak.#ENGLISH " +
                      Hex("english") + "\nLocal.pak.#GERMAN " + Hex("deutsch") + "\n");
  // Narrowed to each distribution, the list holds exactly that tree's files.
  EXPECT_EQ(patch::ParseChecksumList(text, "", {"ENGLISH"}).size(), 2u);
  const auto german = patch::ParseChecksumList(text, "", {"GERMAN"});
  ASSERT_EQ(german.size(), 3u);
  EXPECT_EQ(german[2].checksums, std::vector<std::uint32_t>{Crc32Of("deutsch", 7)});
}

TEST(ChecksumWriter, Refusals) {
  TempFolder folder;
  Write(folder.Path() / "t" / "a", "1");
  make::ChecksumReport report;
  EXPECT_FALSE(make::WriteChecksumList({{folder.File("t"), ""}}, "1.6", {}, folder.File("p"), &report));
  EXPECT_NE(report.problems.at(0).find("two minor digits"), std::string::npos);
  std::string text;
  EXPECT_FALSE(make::ChecksumListText({{folder.File("t"), "A"}, {folder.File("t"), "a"}}, {}, &text, &report));
  EXPECT_NE(report.problems.at(0).find("given twice"), std::string::npos);
  EXPECT_FALSE(make::ChecksumListText({{folder.File("t"), ""}, {folder.File("t"), "B"}}, {}, &text, &report));
  // A payload folder that cannot be made (a file stands in the way) fails and writes nothing.
  Write(folder.Path() / "p", "file");
  EXPECT_FALSE(make::WriteChecksumList({{folder.File("t"), ""}}, "1.06", {}, folder.File("p"), &report));
}

}  // namespace
