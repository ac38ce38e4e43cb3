#include "platform/wineRegistryFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/testData.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

platform::WineRegistryFile Parsed(const std::string& text) {
  platform::WineRegistryFile file;
  std::string error;
  EXPECT_TRUE(file.Parse(text, &error)) << error;
  return file;
}

// A machine hive written by Wine (an excerpt of a fresh prefix's system.reg).
TEST(WineRegistryFile, RealFileReadsAndWritesBackByteForByte) {
  const std::string text = ReadTestText("registry/system.reg");
  ASSERT_GT(text.size(), 1000u);
  platform::WineRegistryFile file = Parsed(text);
  EXPECT_EQ(file.Text(), text);
  EXPECT_EQ(file.Architecture(), "win64");
  std::string value;
  ASSERT_TRUE(file.ReadString("Software\\Classes\\.chm", "", &value));
  EXPECT_EQ(value, "chm.file");
  ASSERT_TRUE(file.ReadString("SOFTWARE\\CLASSES\\CLSID\\{03219E78-5BC3-44D1-B92E-F63D89CC6526}\\InprocServer32", "", &value));
  EXPECT_EQ(value, "C:\\windows\\system32\\xaudio2_4.dll");  // "\\x" is a backslash, then x
  EXPECT_FALSE(file.ReadString("Software\\Classes\\CLSID\\{05EC7C2B-F1E6-4961-AD46-E1CC810A87D2}", "BitLength", &value))
      << "a dword is not a text";
  EXPECT_FALSE(file.ReadString("Software\\Classes\\Wow6432Node\\AppId", "SymbolicLinkValue", &value));
  EXPECT_FALSE(file.ReadString("Software\\Missing", "", &value));
}

// Setting a value changes its lines only; a new key gets the lines Wine writes, at the end.
TEST(WineRegistryFile, ChangesTouchOnlyTheirOwnLines) {
  const std::string text = ReadTestText("registry/system.reg");
  platform::WineRegistryFile file = Parsed(text);
  const std::string clsid = "Software\\Classes\\CLSID\\{05EC7C2B-F1E6-4961-AD46-E1CC810A87D2}";
  // A dword replaced by a text, and a hex value over four lines replaced by one line.
  ASSERT_TRUE(file.SetString(clsid, "bitlength", "sixteen", 1700000000));
  ASSERT_TRUE(file.SetString("Software\\Classes\\Wow6432Node\\AppId", "SymbolicLinkValue", "x", 1700000000));
  ASSERT_TRUE(file.SetString(clsid, "New", "added", 1700000000));
  std::vector<std::string> expected = Lines(text);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == "\"BitLength\"=dword:00000010") expected[i] = "\"bitlength\"=\"sixteen\"";
    if (expected[i] == "\"Vendor\"=\"{F0E749CA-EDEF-4589-A73A-EE0E626A2A2B}\"") {
      expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(i) + 1, "\"New\"=\"added\"");
    }
    if (expected[i].rfind("\"SymbolicLinkValue\"=hex(6)", 0) == 0) {
      expected[i] = "\"SymbolicLinkValue\"=\"x\"";
      expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(i) + 1, expected.begin() + static_cast<std::ptrdiff_t>(i) + 4);
    }
  }
  EXPECT_EQ(Lines(file.Text()), expected);

  ASSERT_TRUE(file.SetString("Software\\Example\\Game", "MAIN", "C:\\Games\\Example", 1700000000));
  const std::string added = "\n[Software\\\\Example\\\\Game] 1700000000\n#time=1da1747c66d0000\n\"MAIN\"=\"C:\\\\Games\\\\Example\"\n";
  ASSERT_GE(file.Text().size(), added.size());
  EXPECT_EQ(file.Text().substr(file.Text().size() - added.size()), added);
  // Read back, also through a second parse of the written text.
  std::string value;
  ASSERT_TRUE(Parsed(file.Text()).ReadString("software\\example\\GAME", "main", &value));
  EXPECT_EQ(value, "C:\\Games\\Example");
  ASSERT_TRUE(Parsed(file.Text()).ReadString(clsid, "BitLength", &value));
  EXPECT_EQ(value, "sixteen");
}

TEST(WineRegistryFile, TextsAreEscapedAsWineEscapesThem) {
  platform::WineRegistryFile file = Parsed("WINE REGISTRY Version 2\n");
  // What Wine wrote for these texts (taken from a prefix after `wine reg add`).
  ASSERT_TRUE(file.SetString(u8"Software\\ZrTest", "Name", u8"Übersicht řeč a\"b\\c", 1796836752));
  ASSERT_TRUE(file.SetString(u8"Software\\ZrTest", "", "tab\there\nline 7\x01" "7", 1796836752));
  const std::vector<std::string> lines = Lines(file.Text());
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[lines.size() - 3], "\"Name\"=\"\\x00dcbersicht \\x0159e\\x10d a\\\"b\\\\c\"");
  EXPECT_EQ(lines[lines.size() - 2], "@=\"tab\\there\\nline 7\\0017\"");
  std::string value;
  ASSERT_TRUE(Parsed(file.Text()).ReadString("SOFTWARE\\ZRTEST", "NAME", &value));
  EXPECT_EQ(value, u8"Übersicht řeč a\"b\\c");
  ASSERT_TRUE(Parsed(file.Text()).ReadString("Software\\ZrTest", "", &value));
  EXPECT_EQ(value, "tab\there\nline 7\x01" "7");

  // Values Wine keeps as texts in other forms.
  platform::WineRegistryFile forms = Parsed(
      "WINE REGISTRY Version 2\n\n[K] 1\n\"Expand\"=str(2):\"%ProgramFiles%\\\\Game\"\n"
      "\"Hex\"=hex(1):41,00,e9,00,00,00\n\"Multi\"=str(7):\"a\\0b\\0\"\n");
  ASSERT_TRUE(forms.ReadString("K", "Expand", &value));
  EXPECT_EQ(value, "%ProgramFiles%\\Game");
  ASSERT_TRUE(forms.ReadString("K", "Hex", &value));
  EXPECT_EQ(value, u8"Aé");
  EXPECT_FALSE(forms.ReadString("K", "Multi", &value));

  bool valid = true;
  platform::EscapeRegistryText("\xff", &valid);
  EXPECT_FALSE(valid) << "a text that is not UTF-8";
  EXPECT_FALSE(file.SetString("Software\\\\Bad", "x", "y", 1));
  EXPECT_FALSE(file.SetString("", "x", "y", 1));
}

// Damaged files are refused with the line that is wrong; nothing is half read.
TEST(WineRegistryFile, DamagedFilesAreRefusedWithAReason) {
  const std::string header = "WINE REGISTRY Version 2\n\n";
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {"", "not a Wine registry file"},
      {"REGEDIT4\n[K]\n", "not a Wine registry file"},
      {header + "[K] 1\n\"cut=\"value\n", "line 4"},
      {header + "[K] 1\n\"v\"=\"no end\n", "line 4"},
      {header + "[K] 1\n\"v\"=\"bad \\x escape\"\n", "line 4"},
      {header + "[K] 1\n\"v\"=\"ends in a backslash\\\n", "line 4"},
      {header + "[K] 1\n\"v\"=hex:01,02,\\\n", "cut short"},
      {header + "[K] 1\n\"v\"=hex:01,0g\n", "line 4"},
      {header + "[K] 1\n\"v\"=dword:123\n", "line 4"},
      {header + "[K] 1\n\"v\"=str(2:\"x\"\n", "line 4"},
      {header + "[K] 1\n\"v\"=\"x\" trailing\n", "line 4"},
      {header + "\"v\"=\"before any key\"\n", "line 3"},
      {header + "[K 1\n", "line 3"},
      {header + "[K] 1\ngarbage\n", "line 4"},
  };
  for (const auto& sample : damaged) {
    platform::WineRegistryFile file;
    std::string error;
    EXPECT_FALSE(file.Parse(sample.first, &error)) << sample.first;
    EXPECT_NE(error.find(sample.second), std::string::npos) << sample.first << " -> " << error;
  }
  // A large hex value is data like any other.
  std::string big = header + "[K] 1\n\"big\"=hex:00";
  for (int i = 0; i < 200000; ++i) big += i % 25 == 24 ? ",\\\n  00" : ",00";
  big += "\n";
  platform::WineRegistryFile file = Parsed(big);
  EXPECT_EQ(file.Text(), big);
  ASSERT_TRUE(file.SetString("K", "big", "small", 1));
  EXPECT_EQ(file.Text(), header + "[K] 1\n\"big\"=\"small\"\n");
}

}  // namespace
