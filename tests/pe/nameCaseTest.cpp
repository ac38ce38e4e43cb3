// Names upper-cased as Windows upper-cases them: letters of every script, one UTF-16 code unit for
// one, UTF-8 forms that grow or shrink, bytes that are not UTF-8 kept; and resource names in a
// directory found through an upper-cased look-up only when they were stored upper-cased.

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

#include "handMadeImage.h"
#include "pe/nameCase.h"
#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/resourceText.h"
#include "pe/resourceWriter.h"

namespace {

TEST(NameCase, EveryScriptIsUpperCasedAsWindowsDoes) {
  const struct { const char* name; const char* upper; } cases[] = {
      {"Docs\\řeč.txt", "DOCS\\ŘEČ.TXT"},                 // Czech
      {"żółć\\źdźbło.pak", "ŻÓŁĆ\\ŹDŹBŁO.PAK"},          // Polish
      {"карта\\уровень.dat", "КАРТА\\УРОВЕНЬ.DAT"},       // Cyrillic
      {"ёжик.ini", "ЁЖИК.INI"},                           // Cyrillic beyond А-Я
      {"αρχείο\\σς.txt", "ΑΡΧΕΊΟ\\Σς.TXT"},               // Greek: final sigma has no pair, it stays
      {"データ\\ｓａｖｅ.bin", "データ\\ＳＡＶＥ.BIN"},    // Japanese kana stay; full-width letters do not
      {"Übersicht.pak", "ÜBERSICHT.PAK"},
      {"straße.txt", "STRAßE.TXT"},                        // no single upper-case letter: kept
      {"ǆ ǅ", "Ǆ ǅ"},                                      // a title-case letter stays
  };
  for (const auto& c : cases) EXPECT_EQ(pe::UpperName(c.name), c.upper) << c.name;

  // Upper-case forms with more and with fewer bytes: 'ɐ' (2) -> 'Ɐ' (3), 'ⱥ' (3) -> 'Ⱥ' (2). Letters
  // whose upper-case letter belongs to another ('ı', 'ſ' and 'µ' to 'i', 's' and 'μ') stay.
  EXPECT_EQ(pe::UpperName("ıſµ"), "ıſµ");
  EXPECT_EQ(pe::UpperName("ɐ.txt"), "\xE2\xB1\xAF.TXT");
  EXPECT_EQ(pe::UpperName("\xE2\xB1\xA5"), "\xC8\xBA");

  // Beyond the basic plane (a surrogate pair in UTF-16) and bytes that are not UTF-8 stay as they are.
  EXPECT_EQ(pe::UpperName("\xF0\x9F\x98\x80" "a"), "\xF0\x9F\x98\x80" "A");
  EXPECT_EQ(pe::UpperName("a\xFF\xC3" "b\xE2\x82"), "A\xFF\xC3" "B\xE2\x82");
  EXPECT_EQ(pe::UpperName("\xC0\xAF" "x"), "\xC0\xAF" "X");  // overlong '/' is not a letter
  EXPECT_EQ(pe::UpperName("\xED\xA0\x80"), "\xED\xA0\x80");  // an encoded surrogate is not a letter

  EXPECT_TRUE(pe::SameNameUpperCased("Docs\\Řeč.txt", "DOCS\\řEČ.TXT"));
  EXPECT_FALSE(pe::SameNameUpperCased("řeč.txt", "rec.txt"));
  EXPECT_EQ(pe::UpperCodeUnit(0xD800), 0xD800);
  EXPECT_EQ(pe::UpperCodeUnit(u'μ'), u'Μ');
  EXPECT_EQ(pe::UpperCodeUnit(u'ᾳ'), u'ᾼ');
}

TEST(NameCase, ResourceNamesAreFoundOnlyWhenStoredUpperCased) {
  const char* const names[] = {"1.05-1.06\\docs\\řeč.txt.upd", "ALL\\карта.pak", "ALL\\αρχείο.txt",
                               "ALL\\データ.bin", "ALL\\ɐıſ.dat", "ALL\\Übersicht.pak"};
  std::vector<pe::MemorySource> sources;
  sources.reserve(std::size(names));
  std::vector<pe::NewResource> resources;
  for (const char* name : names) {
    std::u16string wide;
    ASSERT_TRUE(pe::Utf8ToUtf16(name, &wide)) << name;
    sources.emplace_back(pe::ByteView{reinterpret_cast<const std::uint8_t*>(name), std::strlen(name)});
    pe::NewResource resource;
    resource.type = pe::ResourceId::Number(pe::kRcDataType);
    resource.name = pe::ResourceId::Name(wide);
    resource.source = &sources.back();
    resources.push_back(resource);
  }
  const petest::Bytes image = petest::ReadFile(petest::Fixture("resources32.exe"));
  pe::MemorySink sink;
  pe::WriteReport report;
  std::string error;
  ASSERT_TRUE(pe::WriteResources(petest::View(image), resources, &sink, &report, &error)) << error;
  const petest::Bytes written = sink.Bytes();
  pe::Image parsed;
  pe::ResourceDirectory directory;
  ASSERT_TRUE(parsed.Parse(petest::View(written), &error) && directory.Parse(parsed, &error)) << error;
  for (const char* name : names) {
    pe::ResourceId id;
    ASSERT_TRUE(pe::ParseResourceName(name, &id)) << name;
    const pe::ResourceEntry* entry = directory.Find(pe::ResourceId::Number(pe::kRcDataType), id);
    ASSERT_TRUE(entry) << name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry->bytes.data), entry->bytes.size), name);
    EXPECT_EQ(pe::DescribeId(entry->name), pe::UpperName(name));  // stored as the loader compares it
  }

  // A name stored with a lower-case letter ("ř" where the starting tree has "A") is listed as it is
  // but never found, as by the loader, which upper-cases only the asked-for name.
  petest::Bytes tree = petest::StartingTree();
  petest::Put16(&tree, petest::tree::kName + 2, 0x0159);
  const petest::Bytes lowerImage = petest::HandMadeImage(tree);
  pe::Image small;
  pe::ResourceDirectory stored;
  ASSERT_TRUE(small.Parse(petest::View(lowerImage), &error) && stored.Parse(small, &error)) << error;
  const auto listed = stored.Names(pe::ResourceId::Number(pe::kRcDataType));
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(pe::DescribeId(listed[0]->name), "ř");
  pe::ResourceId asked;
  ASSERT_TRUE(pe::ParseResourceName("ř", &asked));
  EXPECT_EQ(pe::DescribeId(asked), "Ř");
  EXPECT_EQ(stored.Find(pe::ResourceId::Number(pe::kRcDataType), asked), nullptr);
}

}  // namespace
