// The resource reader on a file read a piece at a time: the tree costs the pages it lies in, not the
// payload after it; small resources other than RCDATA are held in memory, payload entries only
// located; and a read that fails fails the parse with its own reason.

#include <gtest/gtest.h>

#include <cstring>

#include "peTestSupport.h"
#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/resourceWriter.h"
#include "pe/versionInfo.h"

namespace {

using petest::Bytes;

// Bytes in memory read as a file, counting what is read; reads at or past `failFrom` fail.
class CountingSource : public pe::ByteSource {
 public:
  explicit CountingSource(const Bytes& bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) override {
    if (offset + size > failFrom) {
      *error = "the disk went away";
      return false;
    }
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
      *error = "past the end";
      return false;
    }
    std::memcpy(buffer, bytes_.data() + offset, size);
    bytesRead += size;
    return true;
  }
  std::uint64_t bytesRead = 0;
  std::uint64_t failFrom = UINT64_MAX;

 private:
  const Bytes& bytes_;
};

// A real executable with a 48 MiB payload entry, a small one and a version resource.
Bytes PatchWithLargeEntry() {
  const Bytes image = petest::ReadFile(petest::Fixture("resources64.exe"));
  Bytes large(48u << 20);
  for (std::size_t i = 0; i < large.size(); i += 4096) large[i] = static_cast<std::uint8_t>(i >> 12);
  const Bytes small = {'s', 'm', 'a', 'l', 'l'};
  const std::vector<std::uint8_t> version = pe::BuildVersionResource("1.08");
  pe::MemorySource largeSource(petest::View(large)), smallSource(petest::View(small)),
      versionSource(pe::ByteView{version.data(), version.size()});
  std::vector<pe::NewResource> added(3);
  added[0].type = added[1].type = pe::ResourceId::Number(pe::kRcDataType);
  added[0].name = pe::ResourceId::Name(u"ALL\\LARGE.PAK");
  added[0].source = &largeSource;
  added[1].name = pe::ResourceId::Name(u"ALL\\SMALL.TXT");
  added[1].source = &smallSource;
  added[2].type = pe::ResourceId::Number(pe::kVersionType);
  added[2].name = pe::ResourceId::Number(1);
  added[2].language = 0x0409;
  added[2].source = &versionSource;
  pe::MemorySink sink;
  pe::WriteReport report;
  std::string error;
  EXPECT_TRUE(pe::WriteResources(petest::View(image), added, &sink, &report, &error)) << error;
  return sink.Bytes();
}

TEST(FileRead, TheTreeIsReadWithoutThePayloadAndGivesTheSameEntries) {
  const Bytes patch = PatchWithLargeEntry();
  pe::Image memoryImage;
  pe::ResourceDirectory memory;
  std::string error;
  ASSERT_TRUE(memoryImage.Parse(petest::View(patch), &error) && memory.Parse(memoryImage, &error)) << error;

  CountingSource file(patch);
  pe::Image image;
  pe::ResourceDirectory resources;
  ASSERT_TRUE(image.Parse(file, &error)) << error;
  EXPECT_EQ(image.Bytes().data, nullptr);
  EXPECT_EQ(image.FileSize(), patch.size());
  ASSERT_TRUE(resources.Parse(image, file, &error)) << error;
  // The headers, the tree's pages and the small resources: far less than the 48 MiB entry.
  EXPECT_LT(file.bytesRead, std::uint64_t(2) << 20);

  ASSERT_EQ(resources.Entries().size(), memory.Entries().size());
  for (std::size_t i = 0; i < memory.Entries().size(); ++i) {
    const pe::ResourceEntry& expected = memory.Entries()[i];
    const pe::ResourceEntry& entry = resources.Entries()[i];
    EXPECT_TRUE(entry.type == expected.type && entry.name == expected.name) << pe::DescribeId(expected.name);
    EXPECT_EQ(entry.language, expected.language);
    EXPECT_EQ(entry.offset, expected.offset);
    EXPECT_EQ(entry.size, expected.size);
    EXPECT_EQ(expected.bytes.size, expected.size);
    if (entry.type == pe::ResourceId::Number(pe::kRcDataType)) {
      EXPECT_EQ(entry.bytes.data, nullptr) << "a payload entry is located, not read";
    } else {
      ASSERT_EQ(entry.bytes.size, expected.size);
      EXPECT_EQ(std::memcmp(entry.bytes.data, expected.bytes.data, entry.size), 0);
    }
  }
  EXPECT_EQ(pe::FileVersionText(resources), "1.08");
  const pe::ResourceEntry* small =
      resources.Find(pe::ResourceId::Number(pe::kRcDataType), pe::ResourceId::Name(u"ALL\\SMALL.TXT"));
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(patch.data() + small->offset), small->size), "small");
}

TEST(FileRead, AFailedReadFailsTheParseWithItsReason) {
  const Bytes patch = PatchWithLargeEntry();
  pe::Image memoryImage;
  pe::ResourceDirectory memory;
  std::string error;
  ASSERT_TRUE(memoryImage.Parse(petest::View(patch), &error) && memory.Parse(memoryImage, &error));
  const pe::DataDirectory tree = memoryImage.Directory(pe::kResourceDirectory);
  std::uint64_t treeOffset = 0;
  ASSERT_TRUE(memoryImage.RvaToOffset(tree.address, 16, &treeOffset));
  const pe::ResourceEntry* version = memory.Find(pe::ResourceId::Number(pe::kVersionType), pe::ResourceId::Number(1));
  ASSERT_NE(version, nullptr);

  // Failing in the headers, in the tree, and at the version resource's bytes, read after the tree.
  for (const std::uint64_t failFrom : {std::uint64_t(0x10), treeOffset + 8, version->offset + 1}) {
    CountingSource file(patch);
    file.failFrom = failFrom;
    pe::Image image;
    pe::ResourceDirectory resources;
    error.clear();
    const bool parsed = image.Parse(file, &error) && resources.Parse(image, file, &error);
    EXPECT_FALSE(parsed) << failFrom;
    EXPECT_EQ(error, "the disk went away") << failFrom;
    EXPECT_TRUE(resources.Entries().empty());
  }
}

}  // namespace
