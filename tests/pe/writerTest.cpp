// The resource writer: resources added and replaced in real executables with everything else kept,
// headers that Windows loads (alignment, sizes, checksum), a signature removed and reported, the
// section replaced in place when it is the last one, refusals of what cannot be written, and the file
// writer leaving the target untouched when anything fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "handMadeImage.h"
#include "pe/checksum.h"
#include "pe/nameCase.h"
#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/resourceWriter.h"
#include "pe/stringTable.h"
#include "pe/versionInfo.h"
#include "platform/resourceFiles.h"
#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

using petest::Bytes;
using pe::ResourceId;

const ResourceId kRcData = ResourceId::Number(pe::kRcDataType);

pe::NewResource Resource(ResourceId type, ResourceId name, std::uint16_t language, pe::ByteSource* source) {
  pe::NewResource resource;
  resource.type = std::move(type);
  resource.name = std::move(name);
  resource.language = language;
  resource.source = source;
  return resource;
}

std::string Text(const pe::ResourceEntry* entry) {
  return entry ? std::string(reinterpret_cast<const char*>(entry->bytes.data), entry->bytes.size) : "<missing>";
}

struct Written {
  Bytes bytes;
  pe::WriteReport report;
  std::string error;
  bool ok = false;
};

Written Write(const Bytes& image, const std::vector<pe::NewResource>& resources) {
  Written written;
  pe::MemorySink sink;
  written.ok = pe::WriteResources(petest::View(image), resources, &sink, &written.report, &written.error);
  written.bytes = sink.Bytes();
  return written;
}

// Checks what Windows needs of the headers and returns the parsed image.
void ExpectLoadableHeaders(const Bytes& bytes, const pe::WriteReport& report) {
  pe::Image image;
  std::string error;
  ASSERT_TRUE(image.Parse(petest::View(bytes), &error)) << error;
  const pe::Headers& h = image.Header();
  std::uint64_t virtualEnd = 0;
  for (const pe::Section& s : image.Sections()) {
    EXPECT_EQ(s.virtualAddress % h.sectionAlignment, 0u) << s.name;
    EXPECT_EQ(s.rawOffset % h.fileAlignment, 0u) << s.name;
    EXPECT_EQ(s.rawSize % h.fileAlignment, 0u) << s.name;
    EXPECT_LE(std::uint64_t(s.rawOffset) + s.rawSize, bytes.size()) << s.name;
    EXPECT_GE(s.virtualAddress, virtualEnd) << s.name << " overlaps the section before it";
    virtualEnd = (std::uint64_t(s.virtualAddress) + s.VirtualExtent() + h.sectionAlignment - 1) /
                 h.sectionAlignment * h.sectionAlignment;
  }
  EXPECT_EQ(h.sizeOfImage, virtualEnd);
  const pe::Section& last = image.Sections().back();
  EXPECT_STREQ(last.name, ".rsrc");
  EXPECT_EQ(image.Directory(pe::kResourceDirectory).address, last.virtualAddress);
  EXPECT_EQ(image.Directory(pe::kResourceDirectory).size, last.virtualSize);
  // The checksum as a plain loop over the whole file computes it, independent of the streaming one.
  std::uint32_t sum = 0;
  const std::size_t field = h.optionalHeaderOffset + pe::kChecksumField;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    if (i >= field && i < field + 4) continue;
    sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  EXPECT_EQ(h.checksum, sum + bytes.size());
  EXPECT_EQ(h.checksum, report.checksum);
  EXPECT_EQ(bytes.size(), report.fileSize);
}

TEST(Writer, AddsAndReplacesResourcesKeepingEveryOther) {
  for (const char* fixture : {"resources32.exe", "resources64.exe", "bare64.exe"}) {
    SCOPED_TRACE(fixture);
    const Bytes input = petest::ReadFile(petest::Fixture(fixture));
    pe::Image before;
    pe::ResourceDirectory old;
    std::string error;
    ASSERT_TRUE(before.Parse(petest::View(input), &error) && old.Parse(before, &error)) << error;

    const std::string payload = "new payload";
    const std::string manifest = "replaced manifest";
    const Bytes frenchBlock = {0, 0, 11, 0, 'F', 0, 'r', 0, 'a', 0, 'n', 0, 'c', 0, 'a', 0, 'i', 0, 's', 0, ' ', 0, 'u', 0, 'n', 0};
    pe::MemorySource payloadSource(pe::ByteView{reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()});
    pe::MemorySource manifestSource(pe::ByteView{reinterpret_cast<const std::uint8_t*>(manifest.data()), manifest.size()});
    pe::MemorySource frenchSource(petest::View(frenchBlock));
    const Written written = Write(input, {
        Resource(kRcData, ResourceId::Name(u"all\\data\\new.pak"), 0, &payloadSource),
        Resource(kRcData, ResourceId::Name(u"VERSION.CFG"), 0, &manifestSource),
        Resource(kRcData, ResourceId::Number(7), 0, &payloadSource),
        Resource(ResourceId::Number(pe::kStringTableType), ResourceId::Number(1), 1036, &frenchSource),
    });
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_FALSE(written.report.signatureRemoved);
    EXPECT_FALSE(written.report.sectionReplaced);  // MinGW puts .reloc after .rsrc
    ExpectLoadableHeaders(written.bytes, written.report);

    pe::Image after;
    pe::ResourceDirectory now;
    ASSERT_TRUE(after.Parse(petest::View(written.bytes), &error) && now.Parse(after, &error)) << error;
    EXPECT_EQ(after.Sections().size(), before.Sections().size() + 1);
    const std::uint32_t added = after.Sections().back().rawSize;
    EXPECT_EQ(after.Header().sizeOfInitializedData, before.Header().sizeOfInitializedData + added);
    // Every old resource is there with the same bytes, but the one replaced.
    std::size_t kept = 0;
    for (const pe::ResourceEntry& entry : old.Entries()) {
      const pe::ResourceEntry* same = now.Find(entry.type, entry.name, entry.language);
      ASSERT_TRUE(same) << pe::DescribeId(entry.name);
      if (entry.name == ResourceId::Name(u"VERSION.CFG")) continue;
      EXPECT_EQ(Text(same), Text(&entry)) << pe::DescribeId(entry.name);
      EXPECT_EQ(same->codePage, entry.codePage);
      ++kept;
    }
    EXPECT_EQ(now.Entries().size(), kept + 4);
    EXPECT_EQ(Text(now.Find(kRcData, ResourceId::Name(u"ALL\\DATA\\NEW.PAK"), 0)), payload);
    EXPECT_EQ(Text(now.Find(kRcData, ResourceId::Name(u"version.cfg"), 0)), manifest);
    EXPECT_EQ(Text(now.Find(kRcData, ResourceId::Number(7), 0)), payload);
    std::u16string french;
    EXPECT_TRUE(pe::FindString(now, 0, 1036, &french) && french.empty());
    EXPECT_TRUE(pe::FindString(now, 1, 1036, &french));
    EXPECT_EQ(french, u"Francais un");
    EXPECT_EQ(pe::FileVersionText(now), pe::FileVersionText(old));

    // Both resource accesses see the written file alike, the new names in their place.
    TempFolder folder;
    petest::WriteFile(folder.File("written.exe"), written.bytes);
    const petest::Snapshot native = petest::TakeSnapshot(platform::NativeResourceAccess(), folder.File("written.exe"));
    const petest::Snapshot portable = petest::TakeSnapshot(platform::PortableResourceAccess(), folder.File("written.exe"));
    EXPECT_TRUE(native == portable);
    EXPECT_EQ(native.openError, "");
    EXPECT_NE(std::find(native.names.begin(), native.names.end(), "ALL\\DATA\\NEW.PAK"), native.names.end());
    EXPECT_TRUE(std::is_sorted(native.names.begin(), native.names.end()));
    EXPECT_EQ(native.bytes.at("VERSION.CFG"), manifest);
    EXPECT_EQ(native.strings.at("1/1036"), "Francais un");
  }
}

TEST(Writer, WritingAgainReplacesTheLastSectionInPlace) {
  const Bytes input = petest::ReadFile(petest::Fixture("resources64.exe"));
  const std::string first(5000, 'a'), second(100, 'b');
  pe::MemorySource one(pe::ByteView{reinterpret_cast<const std::uint8_t*>(first.data()), first.size()});
  pe::MemorySource two(pe::ByteView{reinterpret_cast<const std::uint8_t*>(second.data()), second.size()});
  const Written once = Write(input, {Resource(kRcData, ResourceId::Name(u"BIG"), 0, &one)});
  ASSERT_TRUE(once.ok) << once.error;
  const Written twice = Write(once.bytes, {Resource(kRcData, ResourceId::Name(u"BIG"), 0, &two)});
  ASSERT_TRUE(twice.ok) << twice.error;
  EXPECT_TRUE(twice.report.sectionReplaced);
  ExpectLoadableHeaders(twice.bytes, twice.report);
  pe::Image a, b;
  std::string error;
  ASSERT_TRUE(a.Parse(petest::View(once.bytes), &error) && b.Parse(petest::View(twice.bytes), &error));
  EXPECT_EQ(b.Sections().size(), a.Sections().size());
  EXPECT_LT(twice.bytes.size(), once.bytes.size());  // the smaller entry took the old one's place
  EXPECT_EQ(b.Header().sizeOfInitializedData,
            a.Header().sizeOfInitializedData - a.Sections().back().rawSize + b.Sections().back().rawSize);
  pe::ResourceDirectory resources;
  ASSERT_TRUE(resources.Parse(b, &error));
  EXPECT_EQ(Text(resources.Find(kRcData, ResourceId::Name(u"BIG"), 0)), second);
  EXPECT_EQ(pe::FileVersionText(resources), "1.05");
}

// Appends a fake signature (8-byte aligned, as the format wants) and points the security directory at it.
Bytes Signed(Bytes bytes) {
  pe::Image image;
  std::string error;
  EXPECT_TRUE(image.Parse(petest::View(bytes), &error));
  bytes.resize((bytes.size() + 7) / 8 * 8, 0);
  const std::size_t at = bytes.size();
  const std::string certificate = "FAKE-CERTIFICATE-BYTES";
  bytes.insert(bytes.end(), certificate.begin(), certificate.end());
  bytes.resize((bytes.size() + 7) / 8 * 8, 0);
  petest::Put32(&bytes, image.Header().directoriesOffset + 8 * pe::kSecurityDirectory, static_cast<std::uint32_t>(at));
  petest::Put32(&bytes, image.Header().directoriesOffset + 8 * pe::kSecurityDirectory + 4,
                static_cast<std::uint32_t>(bytes.size() - at));
  return bytes;
}

bool HasCertificate(const Bytes& bytes) {
  const std::string marker = "FAKE-CERTIFICATE";
  return std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end()) != bytes.end();
}

TEST(Writer, ASignatureIsRemovedAndReported) {
  const std::string data = "entry";
  pe::MemorySource source(pe::ByteView{reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
  const Bytes plain = petest::ReadFile(petest::Fixture("resources32.exe"));
  const Written appended = Write(Signed(plain), {Resource(kRcData, ResourceId::Name(u"X"), 0, &source)});
  ASSERT_TRUE(appended.ok) << appended.error;
  EXPECT_TRUE(appended.report.signatureRemoved);
  EXPECT_FALSE(HasCertificate(appended.bytes));
  ExpectLoadableHeaders(appended.bytes, appended.report);
  pe::Image image;
  std::string error;
  ASSERT_TRUE(image.Parse(petest::View(appended.bytes), &error));
  EXPECT_EQ(image.Directory(pe::kSecurityDirectory).address, 0u);
  EXPECT_EQ(image.Directory(pe::kSecurityDirectory).size, 0u);

  // A signed file whose resource section is last: replaced in place, signature gone as well.
  const Written replaced = Write(Signed(appended.bytes), {Resource(kRcData, ResourceId::Name(u"Y"), 0, &source)});
  ASSERT_TRUE(replaced.ok) << replaced.error;
  EXPECT_TRUE(replaced.report.signatureRemoved);
  EXPECT_TRUE(replaced.report.sectionReplaced);
  EXPECT_FALSE(HasCertificate(replaced.bytes));
  ExpectLoadableHeaders(replaced.bytes, replaced.report);

  const Written unsigned_ = Write(plain, {Resource(kRcData, ResourceId::Name(u"X"), 0, &source)});
  ASSERT_TRUE(unsigned_.ok);
  EXPECT_FALSE(unsigned_.report.signatureRemoved);
}

// A source of any size that fails when read from `failAt` on.
class FakeSource : public pe::ByteSource {
 public:
  FakeSource(std::uint64_t size, std::uint64_t failAt) : size_(size), failAt_(failAt) {}
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) override {
    if (offset + size > failAt_) {
      *error = "the source failed";
      return false;
    }
    std::memset(buffer, 'z', size);
    return true;
  }

 private:
  std::uint64_t size_, failAt_;
};

TEST(Writer, RefusesWhatItCannotWrite) {
  const Bytes input = petest::ReadFile(petest::Fixture("resources64.exe"));
  FakeSource small(10, ~0ull);
  Written w = Write(input, {Resource(kRcData, ResourceId::Name(u"A"), 0, &small), Resource(kRcData, ResourceId::Name(u"a"), 0, &small)});
  EXPECT_FALSE(w.ok);
  EXPECT_NE(w.error.find("resource A (type #10, language 0) is given twice"), std::string::npos) << w.error;

  FakeSource huge(0x100000000ull, ~0ull);
  w = Write(input, {Resource(kRcData, ResourceId::Name(u"HUGE"), 0, &huge)});
  EXPECT_FALSE(w.ok);
  EXPECT_NE(w.error.find("larger than 4 GiB"), std::string::npos) << w.error;
  EXPECT_TRUE(w.bytes.empty());  // refused before anything was written

  FakeSource almost(0xFFFFF000ull, ~0ull);  // fits its own field, not the image
  w = Write(input, {Resource(kRcData, ResourceId::Name(u"ALMOST"), 0, &almost)});
  EXPECT_FALSE(w.ok);
  EXPECT_NE(w.error.find("past 4 GiB"), std::string::npos) << w.error;
  EXPECT_TRUE(w.bytes.empty());

  FakeSource failing(3u << 20, 2u << 20);
  w = Write(input, {Resource(kRcData, ResourceId::Name(u"FAILS"), 0, &failing)});
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(w.error, "resource FAILS: the source failed");

  w = Write(input, {Resource(kRcData, ResourceId::Name(u"NONE"), 0, nullptr)});
  EXPECT_NE(w.error.find("has no source"), std::string::npos);

  // No free room after the section table for another section header (the image has no resources, so
  // the new section cannot replace its only one).
  Bytes crowded = petest::HandMadeImage(petest::StartingTree());
  petest::Put32(&crowded, 0x58 + 96 + 8 * pe::kResourceDirectory, 0);
  petest::Put32(&crowded, 0x58 + 96 + 8 * pe::kResourceDirectory + 4, 0);
  Bytes roomy = crowded;
  crowded[0x160 + 3] = 0x55;
  w = Write(crowded, {Resource(kRcData, ResourceId::Name(u"B"), 0, &small)});
  EXPECT_NE(w.error.find("no free room for another section"), std::string::npos) << w.ok << w.error;
  w = Write(roomy, {Resource(kRcData, ResourceId::Name(u"B"), 0, &small)});
  EXPECT_TRUE(w.ok && !w.report.sectionReplaced) << w.error;

  // Damaged resources, truncated sections.
  Bytes looped = petest::StartingTree();
  petest::Put32(&looped, petest::tree::kTypeEntry + 4, 0x80000000u);
  w = Write(petest::HandMadeImage(looped), {});
  EXPECT_NE(w.error.find("the executable's resources are damaged: resource directory at offset 0"), std::string::npos) << w.error;
  pe::Image image;
  std::string error;
  ASSERT_TRUE(image.Parse(petest::View(input), &error));
  const Bytes truncated(input.begin(), input.begin() + image.Sections().back().rawOffset + 10);
  w = Write(truncated, {});
  EXPECT_NE(w.error.find("lies outside the file (is it truncated?)"), std::string::npos) << w.error;
}

TEST(ResourceFiles, TheTargetIsReplacedWhenCompleteAndUntouchedOnFailure) {
  TempFolder folder;
  const std::string target = folder.File("patch.exe");
  const std::string entry = folder.File("entry.bin");
  petest::WriteFile(entry, Bytes(3000, 0x5A));
  petest::WriteFile(target, petest::ReadFile(petest::Fixture("resources32.exe")));
  const Bytes original = petest::ReadFile(target);

  platform::FileResource resource;
  resource.type = kRcData;
  resource.name = ResourceId::Name(u"ALL\\ENTRY.BIN");
  resource.path = entry;
  pe::WriteReport report;
  std::string error;

  platform::FileResource missing = resource;
  missing.path = folder.File("no-such-entry.bin");
  EXPECT_FALSE(platform::WriteResourcesToFile(target.c_str(), {missing}, target.c_str(), &report, &error));
  EXPECT_NE(error.find("no-such-entry.bin"), std::string::npos) << error;
  {
    FaultInjectingFileSystem faults;
    faults.failWriteAt = 3;
    EXPECT_FALSE(platform::WriteResourcesToFile(target.c_str(), {resource}, target.c_str(), &report, &error));
  }
  {
    FaultInjectingFileSystem faults;
    faults.diskSpace = 4096;
    EXPECT_FALSE(platform::WriteResourcesToFile(target.c_str(), {resource}, target.c_str(), &report, &error));
    EXPECT_NE(error.find("the disk is full"), std::string::npos) << error;
  }
  EXPECT_EQ(petest::ReadFile(target), original);
  EXPECT_TRUE(petest::ReadFile(target + ".part").empty());

  // The executable written over itself, read back.
  ASSERT_TRUE(platform::WriteResourcesToFile(target.c_str(), {resource}, target.c_str(), &report, &error)) << error;
  EXPECT_TRUE(petest::ReadFile(target + ".part").empty());
  std::string openError;
  auto module = platform::OpenModuleResources(target.c_str(), &openError);
  ASSERT_TRUE(module) << openError;
  EXPECT_EQ(petest::EntryText(module.get(), "all\\entry.bin"), std::string(3000, 0x5A));
  EXPECT_EQ(petest::EntryText(module.get(), "MULTI"), "neutral");
}

// Payload names of many scripts written by the publisher tools' writer, then found by the system's
// resource functions (FindResourceW on Windows and under Wine) or the portable reader, asked for in
// any case and listed in their upper-case spelling.
TEST(ResourceFiles, NamesOfEveryScriptAreFoundInAnyCase) {
  TempFolder folder;
  const std::string target = folder.File("patch.exe");
  petest::WriteFile(target, petest::ReadFile(petest::Fixture("resources32.exe")));
  const char* const names[] = {"1.05-1.06\\Docs\\řeč.txt.UPD", "ALL\\Übersicht.pak", "ALL\\Żółć\\źdźbło.dat",
                               "ALL\\Карта\\уровень.dat",      "ALL\\Αρχείο.txt",   "ALL\\データ\\セーブ.bin",
                               "ALL\\ɐıſµǅ.dat", "ALL\\ᾳ.dat", "ALL\\ⱥ.txt", "ALL\\σς.txt"};
  std::vector<platform::FileResource> resources;
  for (std::size_t i = 0; i < std::size(names); ++i) {
    const std::string entry = folder.File("entry" + std::to_string(i));
    petest::WriteFile(entry, Bytes(names[i], names[i] + std::strlen(names[i])));
    platform::FileResource resource;
    resource.type = kRcData;
    ASSERT_TRUE(pe::ParseResourceName(names[i], &resource.name)) << names[i];
    resource.path = entry;
    resources.push_back(resource);
  }
  pe::WriteReport report;
  std::string error;
  ASSERT_TRUE(platform::WriteResourcesToFile(target.c_str(), resources, target.c_str(), &report, &error)) << error;

  auto module = platform::OpenModuleResources(target.c_str(), &error);
  ASSERT_TRUE(module) << error;
  std::vector<std::string> listed;
  module->EnumerateEntryNames([](const char* name, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(name); },
                              &listed);
  for (const char* name : names) {
    EXPECT_EQ(petest::EntryText(module.get(), name), name) << name;
    EXPECT_EQ(petest::EntryText(module.get(), pe::UpperName(name)), name) << name;
    EXPECT_NE(std::find(listed.begin(), listed.end(), pe::UpperName(name)), listed.end()) << name;
  }
  EXPECT_EQ(petest::EntryText(module.get(), "ALL\\rec.txt"), "<missing>");
}

}  // namespace
