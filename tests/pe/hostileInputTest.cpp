// Damaged and hostile executables are refused with a message that says what is wrong, never read out
// of bounds: header fields past the end, loops and excessive depth in the resource tree, offsets and
// counts beyond the section, data outside the file, damaged version blocks; every prefix of a real
// executable and single-byte damage anywhere in its resource section.

#include <gtest/gtest.h>

#include "handMadeImage.h"
#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/stringTable.h"
#include "pe/versionInfo.h"

namespace {

using petest::Bytes;
using petest::Put16;
using petest::Put32;
namespace tree = petest::tree;

// Parses image and tree from memory; "" when both are fine, else the error.
std::string MemoryParseError(const Bytes& bytes, pe::ResourceDirectory* resources) {
  pe::Image image;
  std::string error;
  if (!image.Parse(petest::View(bytes), &error)) return "image: " + error;
  if (!resources->Parse(image, &error)) return "tree: " + error;
  return "";
}

// The same bytes read as a file, a piece at a time.
std::string FileParseError(const Bytes& bytes) {
  pe::MemorySource file(petest::View(bytes));
  pe::Image image;
  pe::ResourceDirectory resources;
  std::string error;
  if (!image.Parse(file, &error)) return "image: " + error;
  if (!resources.Parse(image, file, &error)) return "tree: " + error;
  return "";
}

// The error of both ways of reading, which must agree (else both are given, so that the case fails).
std::string ParseError(const Bytes& bytes, pe::ResourceDirectory* resources = nullptr) {
  pe::ResourceDirectory local;
  const std::string memory = MemoryParseError(bytes, resources ? resources : &local);
  const std::string file = FileParseError(bytes);
  return memory == file ? memory : "from memory: " + memory + "; from a file: " + file;
}

Bytes TreeWith(void (*damage)(Bytes*)) {
  Bytes t = petest::StartingTree();
  damage(&t);
  return petest::HandMadeImage(t);
}

TEST(HostileInput, TheStartingTreeReads) {
  pe::ResourceDirectory resources;
  ASSERT_EQ(ParseError(petest::HandMadeImage(petest::StartingTree()), &resources), "");
  ASSERT_EQ(resources.Entries().size(), 1u);
  EXPECT_EQ(resources.Entries()[0].name.name, u"A");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(resources.Entries()[0].bytes.data), 2), "xy");
}

TEST(HostileInput, DamagedTreesAreRefusedWithTheReason) {
  struct Case {
    const char* what;
    void (*damage)(Bytes*);
    const char* message;
  };
  const Case cases[] = {
      {"loop to the root", [](Bytes* t) { Put32(t, tree::kTypeEntry + 4, 0x80000000u); }, "reached twice"},
      {"language level points to a table", [](Bytes* t) { Put32(t, tree::kNameEntry + 4, 0x80000000u | 0x58); },
       "deeper than type, name and language"},
      {"type level points to data", [](Bytes* t) { Put32(t, tree::kRootEntry + 4, 0x18); }, "points to data above"},
      {"table past the end", [](Bytes* t) { Put32(t, tree::kTypeEntry + 4, 0x80000000u | 0x7FFFFF00); },
       "runs past the end of the section"},
      {"huge counts", [](Bytes* t) { Put16(t, tree::kRootCounts, 0xFFFF), Put16(t, tree::kRootCounts + 2, 0xFFFF); },
       "holds 131070 entries, more than the section has room for"},
      {"name past the end", [](Bytes* t) { Put32(t, tree::kTypeEntry, 0x80000000u | 0x7FFFFFF0); },
       "resource name at offset 2147483632"},
      {"name longer than the section", [](Bytes* t) { Put16(t, tree::kName, 0xFFFF); }, "resource name at offset 96"},
      {"data address outside", [](Bytes* t) { Put32(t, tree::kDataEntry, 0x500000); }, "lies outside the file"},
      {"data size past the section", [](Bytes* t) { Put32(t, tree::kDataEntry + 4, 0xFFFFFFFF); },
       "(type #10, 4294967295 bytes) lies outside the file"},
      {"identifier out of range", [](Bytes* t) { Put32(t, tree::kRootEntry, 0x12345); }, "identifier 74565 is out of range"},
      {"language given as a name", [](Bytes* t) { Put32(t, tree::kNameEntry, 0x80000000u | tree::kName); },
       "is a name, not a number"},
      {"data entry past the end", [](Bytes* t) { Put32(t, tree::kNameEntry + 4, 0x7FFFFFF8); },
       "data entry at offset 2147483640"},
  };
  for (const Case& c : cases) {
    const std::string error = ParseError(TreeWith(c.damage));
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.rfind("tree: ", 0), 0u) << c.what;
  }
}

TEST(HostileInput, DamagedHeadersAreRefusedWithTheReason) {
  const Bytes good = petest::HandMadeImage(petest::StartingTree());
  struct Case {
    const char* what;
    void (*damage)(Bytes*);
    const char* message;
  };
  const Case cases[] = {
      {"no MZ", [](Bytes* b) { (*b)[0] = 'X'; }, "no MZ header"},
      {"header offset past the end", [](Bytes* b) { Put32(b, 0x3C, 0xFFFFFFF0); }, "PE header lies past the end"},
      {"no PE signature", [](Bytes* b) { (*b)[0x41] = 'X'; }, "no PE signature"},
      {"unknown optional header", [](Bytes* b) { Put16(b, 0x58, 0x999); }, "neither PE32 nor PE32+"},
      {"optional header past the end", [](Bytes* b) { Put16(b, 0x54, 0xFFFF); }, "optional header lies past"},
      {"optional header too short", [](Bytes* b) { Put16(b, 0x54, 8); }, "optional header is too short"},
      {"section table past the end", [](Bytes* b) { Put16(b, 0x46, 0xFFFF); }, "section table lies past"},
      {"tree outside the sections", [](Bytes* b) { Put32(b, 0x58 + 96 + 16, 0x9000); }, "outside the file's sections"},
  };
  for (const Case& c : cases) {
    Bytes bytes = good;
    c.damage(&bytes);
    const std::string error = ParseError(bytes);
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
  }
  EXPECT_NE(ParseError(Bytes(0x20, 'M')).find("no MZ header"), std::string::npos);
  EXPECT_NE(ParseError(Bytes()).find("no MZ header"), std::string::npos);
}

TEST(HostileInput, EveryPrefixOfARealExecutable) {
  const Bytes whole = petest::ReadFile(petest::Fixture("resources32.exe"));
  pe::ResourceDirectory resources;
  ASSERT_EQ(ParseError(whole, &resources), "");
  // The furthest byte any resource reaches: a prefix that cuts it off must be refused.
  std::size_t needed = 0;
  for (const pe::ResourceEntry& entry : resources.Entries()) {
    needed = std::max(needed, static_cast<std::size_t>(entry.bytes.data + entry.bytes.size - whole.data()));
  }
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    pe::ResourceDirectory cut;
    const std::string error = ParseError(prefix, &cut);
    if (length < needed) {
      ASSERT_NE(error, "") << "prefix of " << length << " bytes";
    } else {
      ASSERT_EQ(error, "") << "prefix of " << length << " bytes";
      ASSERT_EQ(cut.Entries().size(), resources.Entries().size());
      EXPECT_EQ(pe::FileVersionText(cut), "1.05");
    }
  }
}

TEST(HostileInput, SingleByteDamageInTheResourceSection) {
  const Bytes whole = petest::ReadFile(petest::Fixture("resources64.exe"));
  pe::Image image;
  std::string error;
  ASSERT_TRUE(image.Parse(petest::View(whole), &error));
  const pe::Section* section = image.SectionAt(image.Directory(pe::kResourceDirectory).address);
  ASSERT_TRUE(section);
  int refused = 0, read = 0;
  for (std::size_t at = section->rawOffset; at < section->rawOffset + section->VirtualExtent(); ++at) {
    for (int value : {0x00, 0x80, 0xFF, whole[at] ^ 0x01}) {
      Bytes damaged = whole;
      damaged[at] = static_cast<std::uint8_t>(value);
      pe::ResourceDirectory resources;
      if (ParseError(damaged, &resources) != "") {
        ++refused;
        continue;
      }
      ++read;
      // Whatever reads must stay inside the file.
      for (const pe::ResourceEntry& entry : resources.Entries()) {
        ASSERT_GE(entry.bytes.data, damaged.data());
        ASSERT_LE(entry.bytes.data + entry.bytes.size, damaged.data() + damaged.size());
      }
      pe::FileVersionText(resources);
      pe::DefaultString(resources, 27);
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(read, 0);
}

TEST(HostileInput, DamagedVersionBlocks) {
  // Root "VS" with one child "K" whose value is "1.0".
  auto node = [](Bytes* b, std::size_t at, std::uint16_t length, std::uint16_t valueLength, std::uint16_t type,
                 const char* key) {
    Put16(b, at, length), Put16(b, at + 2, valueLength), Put16(b, at + 4, type);
    std::size_t i = 0;
    for (; key[i]; ++i) Put16(b, at + 6 + 2 * i, static_cast<unsigned char>(key[i]));
    Put16(b, at + 6 + 2 * i, 0);
  };
  Bytes good;
  node(&good, 0, 32, 0, 1, "VS");   // key ends at 12, children at 12
  node(&good, 12, 20, 4, 1, "K");   // key ends at 22, value at 24: "1.0"
  Put16(&good, 24, '1'), Put16(&good, 26, '.'), Put16(&good, 28, '0'), Put16(&good, 30, 0);
  std::u16string text;
  ASSERT_TRUE(pe::QueryVersionText(petest::View(good), "\\K", &text));
  EXPECT_EQ(text, u"1.0");

  Bytes zeroLength = good;
  Put16(&zeroLength, 12, 0);  // a child of length 0 would never advance
  EXPECT_FALSE(pe::QueryVersionText(petest::View(zeroLength), "\\K", &text));
  Bytes tooLong = good;
  Put16(&tooLong, 12, 0xFFFF);  // longer than its parent
  EXPECT_FALSE(pe::QueryVersionText(petest::View(tooLong), "\\K", &text));
  Bytes unterminated = good;
  Put16(&unterminated, 20, 'X'), Put16(&unterminated, 22, 'Y'), Put16(&unterminated, 24, 'Z');
  Put16(&unterminated, 26, 'Z'), Put16(&unterminated, 28, 'Z'), Put16(&unterminated, 30, 'Z');
  EXPECT_FALSE(pe::QueryVersionText(petest::View(unterminated), "\\K", &text));  // key runs to the end
  Bytes rootPastEnd = good;
  Put16(&rootPastEnd, 0, 0x7000);
  EXPECT_FALSE(pe::QueryVersionText(petest::View(rootPastEnd), "\\K", &text));
  Bytes noTerminator = good;
  Put16(&noTerminator, 30, '5');  // the text runs to the end of its node
  ASSERT_TRUE(pe::QueryVersionText(petest::View(noTerminator), "\\K", &text));
  EXPECT_EQ(text, u"1.05");
  EXPECT_FALSE(pe::QueryVersionText(petest::View(Bytes(4, 0)), "\\K", &text));
}

}  // namespace
