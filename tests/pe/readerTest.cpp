// The reader on executables MinGW built with windres resources, 32- and 64-bit: names, their order,
// bytes, string tables by language, version texts; the platform's own resource access (the system's
// functions under Wine) and the portable reader agree on every one of them.

#include <gtest/gtest.h>

#include "pe/checksum.h"
#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/stringTable.h"
#include "pe/versionInfo.h"
#include "peTestSupport.h"

namespace {

using petest::Fixture;

const std::vector<std::string> kExpectedNames = {
    "1.05-1.06\\DATA\\X.PAK.UPD", "ALL\\DATA\\LOWER.PAK", "ALL\\DATA\\LOWER.PAK.#USA", "ALL_NAME",
    "EMPTY",                      "MULTI",               "VERSION.CFG"};

TEST(Reader, NamesBytesStringsAndVersionOfBuiltExecutables) {
  for (const char* name : {"resources32.exe", "resources64.exe"}) {
    SCOPED_TRACE(name);
    const petest::Snapshot s = petest::TakeSnapshot(platform::CurrentResourceAccess(), Fixture(name));
    ASSERT_EQ(s.openError, "");
    EXPECT_EQ(s.names, kExpectedNames);  // sorted by upper-case spelling; the integer name 42 is not listed
    EXPECT_EQ(s.bytes.at("1.05-1.06\\DATA\\X.PAK.UPD"), std::string("delta\xFF\x00\x00\x01", 9));
    EXPECT_EQ(s.bytes.at("ALL\\DATA\\LOWER.PAK"), "lower case in the script");
    EXPECT_EQ(s.bytes.at("EMPTY"), "");
    EXPECT_EQ(s.bytes.at("MULTI"), "neutral");  // the neutral language before German
    EXPECT_EQ(s.version, "1.05");               // US English, not the German block listed first

    EXPECT_EQ(s.strings.at("1/0"), "Neutral one");
    EXPECT_EQ(s.strings.at("1/1031"), "Deutsch eins");
    EXPECT_EQ(s.strings.at("1/1033"), "-");   // no block in that language
    EXPECT_EQ(s.strings.at("2/0"), "");       // the block is there, the string is empty
    EXPECT_EQ(s.strings.at("17/0"), "Neutral seventeen");
    EXPECT_EQ(s.strings.at("17/1031"), "-");  // German has block 1 only
    EXPECT_EQ(s.strings.at("27/0"), "Please be patient.");
    EXPECT_EQ(s.strings.at("40/0"), "-");
    EXPECT_EQ(s.strings.at("1/default"), "Neutral one");
    EXPECT_EQ(s.strings.at("27/default"), "Please be patient.");
    EXPECT_EQ(s.strings.at("40/default"), "");

    std::string error;
    auto module = platform::OpenModuleResources(Fixture(name).c_str(), &error);
    ASSERT_TRUE(module) << error;
    EXPECT_EQ(petest::EntryText(module.get(), "all\\data\\lower.pak"), "lower case in the script");
    EXPECT_EQ(petest::EntryText(module.get(), "#42"), "integer name");
    EXPECT_EQ(petest::EntryText(module.get(), "NO\\SUCH.ENTRY"), "<missing>");
  }
}

TEST(Reader, VersionTextOnlyFromTheUsEnglishUnicodeBlock) {
  char text[64] = "unchanged";
  platform::GetFileVersionText(Fixture("otherLanguage64.exe").c_str(), text, sizeof text);
  EXPECT_STREQ(text, "");  // only a German block
  platform::GetFileVersionText(Fixture("bare64.exe").c_str(), text, sizeof text);
  EXPECT_STREQ(text, "");  // no resources at all
  platform::GetFileVersionText(Fixture("no-such-file.exe").c_str(), text, sizeof text);
  EXPECT_STREQ(text, "");
  platform::GetFileVersionText(Fixture("resources64.exe").c_str(), text, 3);
  EXPECT_STREQ(text, "1.");  // cut to the buffer
}

TEST(Reader, SystemFunctionsAndPortableReaderAgree) {
  for (const char* name : {"resources32.exe", "resources64.exe", "otherLanguage64.exe", "bare64.exe"}) {
    SCOPED_TRACE(name);
    const petest::Snapshot native = petest::TakeSnapshot(platform::NativeResourceAccess(), Fixture(name));
    const petest::Snapshot portable = petest::TakeSnapshot(platform::PortableResourceAccess(), Fixture(name));
    EXPECT_TRUE(native == portable);
    EXPECT_EQ(native.names, portable.names);
    EXPECT_EQ(native.strings, portable.strings);
    EXPECT_EQ(native.version, portable.version);
  }
}

TEST(Reader, OpenFailuresSayWhy) {
  std::string error;
  EXPECT_FALSE(platform::PortableResourceAccess()->Open(Fixture("no-such-file.exe").c_str(), &error));
  EXPECT_NE(error.find("no-such-file.exe"), std::string::npos);
  error.clear();
  EXPECT_FALSE(platform::PortableResourceAccess()->Open(Fixture("resources64.res.o").c_str(), &error));
  EXPECT_NE(error.find("no MZ header"), std::string::npos) << error;
}

TEST(Reader, EveryResourceTypeWithTypesAndLanguages) {
  const petest::Bytes bytes = petest::ReadFile(Fixture("resources64.exe"));
  pe::Image image;
  pe::ResourceDirectory resources;
  std::string error;
  ASSERT_TRUE(image.Parse(petest::View(bytes), &error)) << error;
  ASSERT_TRUE(image.Header().is64Bit);
  ASSERT_TRUE(resources.Parse(image, &error)) << error;
  using pe::ResourceId;
  EXPECT_TRUE(resources.Find(ResourceId::Number(5), ResourceId::Number(123)));  // the dialog
  EXPECT_TRUE(resources.Find(ResourceId::Number(24), ResourceId::Number(1)));   // the manifest
  const pe::ResourceEntry* german =
      resources.Find(ResourceId::Number(pe::kRcDataType), ResourceId::Name(u"multi"), 0x0407);
  ASSERT_TRUE(german);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(german->bytes.data), german->bytes.size), "german");
  EXPECT_EQ(pe::FileVersionText(resources), "1.05");
  // Keys are compared without regard to case, as the system's query does.
  const pe::ResourceEntry* version = resources.Find(ResourceId::Number(pe::kVersionType), ResourceId::Number(1));
  ASSERT_TRUE(version);
  std::u16string text;
  EXPECT_TRUE(pe::QueryVersionText(version->bytes, "\\stringfileinfo\\040704B0\\FILEVERSION", &text));
  EXPECT_EQ(text, u"9.99");
  EXPECT_FALSE(pe::QueryVersionText(version->bytes, "\\StringFileInfo\\040904b0\\Missing", &text));

  const petest::Bytes thirtyTwo = petest::ReadFile(Fixture("resources32.exe"));
  ASSERT_TRUE(image.Parse(petest::View(thirtyTwo), &error)) << error;
  EXPECT_FALSE(image.Header().is64Bit);
}

TEST(Checksum, MatchesTheLinkersChecksum) {
  // The MinGW linker writes the header checksum: an independent answer for the algorithm.
  for (const char* name : {"resources32.exe", "resources64.exe", "bare64.exe"}) {
    const petest::Bytes bytes = petest::ReadFile(Fixture(name));
    pe::Image image;
    std::string error;
    ASSERT_TRUE(image.Parse(petest::View(bytes), &error)) << error;
    ASSERT_NE(image.Header().checksum, 0u);
    EXPECT_EQ(pe::ImageChecksum(bytes.data(), bytes.size(), image.Header().optionalHeaderOffset + pe::kChecksumField),
              image.Header().checksum)
        << name;
  }
  // Pieces of any length, odd ones included, give the same sum as the whole.
  const petest::Bytes bytes = petest::ReadFile(Fixture("resources32.exe"));
  pe::Checksum whole, pieces;
  whole.Add(bytes.data(), bytes.size());
  for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step % 7 + 1) {
    pieces.Add(bytes.data() + at, std::min(step, bytes.size() - at));
  }
  EXPECT_EQ(whole.Finish(), pieces.Finish());
}

TEST(StringBlock, EntriesAndTruncation) {
  // Block: "" , "AB", "" ... (the rest missing).
  const petest::Bytes block = {0, 0, 2, 0, 'A', 0, 'B', 0, 0, 0};
  std::u16string text;
  EXPECT_TRUE(pe::StringFromBlock(petest::View(block), 1, &text));
  EXPECT_EQ(text, u"AB");
  EXPECT_TRUE(pe::StringFromBlock(petest::View(block), 2, &text));
  EXPECT_EQ(text, u"");
  EXPECT_FALSE(pe::StringFromBlock(petest::View(block), 3, &text));  // the block ends before it
  const petest::Bytes cut = {0, 0, 9, 0, 'A', 0};                     // length past the end
  EXPECT_FALSE(pe::StringFromBlock(petest::View(cut), 1, &text));
}

}  // namespace
