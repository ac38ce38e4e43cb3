// The store over a real patch executable: a PE image written by the resource writer, read through the
// portable reader a piece at a time on both platforms.
#include "patch/moduleEntrySource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "pe/handMadeImage.h"
#include "pe/resourceWriter.h"
#include "patch/patchStore.h"
#include "platform/processMemory.h"
#include "support/tempFolder.h"
#include "ui/scriptedInterface.h"
#include "support/currentRunMessages.h"

namespace {

struct Entry {
  pe::ResourceId name;
  std::string bytes;
};

// A patch executable holding `entries` as RCDATA resources, written to `path`.
void WritePatchExecutable(const std::string& path, const std::vector<Entry>& entries) {
  const petest::Bytes image = petest::HandMadeImage(petest::StartingTree());
  std::vector<pe::MemorySource> sources;
  sources.reserve(entries.size());
  std::vector<pe::NewResource> resources;
  for (const Entry& entry : entries) {
    sources.emplace_back(pe::ByteView{reinterpret_cast<const std::uint8_t*>(entry.bytes.data()), entry.bytes.size()});
    pe::NewResource resource;
    resource.type = pe::ResourceId::Number(10);
    resource.name = entry.name;
    resource.source = &sources.back();
    resources.push_back(resource);
  }
  pe::MemorySink sink;
  pe::WriteReport report;
  std::string error;
  ASSERT_TRUE(pe::WriteResources(petest::View(image), resources, &sink, &report, &error)) << error;
  petest::WriteFile(path, sink.Bytes());
}

std::vector<std::string> Collect(patch::EntrySource& store, const char* prefix) {
  patch::PatchJob job;
  job.store = &store;
  job.prefix = prefix;
  patch::CollectEntries(job);
  std::vector<std::string> names;
  for (int i = 0; i < job.names.Size(); ++i) names.push_back(job.names[i].Data());
  return names;
}

TEST(ModuleStore, ReadsAPatchExecutablesEntries) {
  TempFolder folder;
  const std::string exe = folder.File("patch.exe");
  WritePatchExecutable(exe, {{pe::ResourceId::Name(u"1.06-1.08\\data\\map.pak.upd"), "delta-2"},
                             {pe::ResourceId::Name(u"1.05-1.06\\DATA\\MAP.PAK.UPD"), "delta-1"},
                             {pe::ResourceId::Name(u"1.05-1.06\\README.TXT.NEW"), "readme"},
                             {pe::ResourceId::Number(7), "an integer identifier"},
                             {pe::ResourceId::Name(u"VERSION.CFG"), std::string("\0raP", 4)},
                             {pe::ResourceId::Name(u"EMPTY"), ""}});
  std::string error;
  auto store = patch::ModuleEntrySource::Open(exe.c_str(), &error);
  ASSERT_TRUE(store) << error;
  // Upper-cased names in upper-case order; the integer identifier and the hand-made "A" of the image.
  EXPECT_EQ(Collect(*store, "1.05-"), (std::vector<std::string>{"1.05-1.06\\DATA\\MAP.PAK.UPD", "1.05-1.06\\README.TXT.NEW"}));
  EXPECT_EQ(Collect(*store, "1.06-1.08\\"), std::vector<std::string>{"1.06-1.08\\DATA\\MAP.PAK.UPD"});
  EXPECT_TRUE(Collect(*store, "#").empty());

  std::string text;
  ASSERT_TRUE(patch::EntryText(*store, "version.cfg", &text));
  EXPECT_EQ(text, std::string("\0raP", 4));
  EXPECT_FALSE(patch::EntryText(*store, "EMPTY", &text));
  patch::EntryRange entry;
  EXPECT_FALSE(patch::FindEntry(*store, "#7", &entry));  // never an integer identifier

  ui::ScriptedInterface script;
  const std::string target = folder.File("out") + "\\readme.txt";
  ASSERT_TRUE(patch::ExtractEntry(*store, "1.05-1.06\\readme.txt.new", target.c_str()));
  std::ifstream in(folder.Path() / "out" / "readme.txt", std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, "readme");
  EXPECT_TRUE(script.events.empty());
}

TEST(ModuleStore, AFileThatIsNoExecutableIsRefusedWithAReason) {
  TempFolder folder;
  { std::ofstream(folder.File("not.exe"), std::ios::binary) << "MZ but nothing else"; }
  std::string error;
  EXPECT_FALSE(patch::ModuleEntrySource::Open(folder.File("not.exe").c_str(), &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(patch::ModuleEntrySource::Open(folder.File("missing.exe").c_str(), &error));
  EXPECT_FALSE(error.empty());
}


// A patch executable of more than 2 GiB, written sparse, whose one entry is 2 GiB + 4 KiB: the store
// reads it whole, a piece at a time, in every build (32-bit ones included), with the process's peak
// memory far below the entry's size.
TEST(ModuleStore, AnEntryOfMoreThanTwoGiBIsReadWholeInBoundedMemory) {
  constexpr std::uint32_t kEntryStart = 0x1000;  // from the section's start, after the tree
  constexpr std::uint32_t kEntrySize = 0x80001000u;
  constexpr std::uint32_t kTailSize = 0x1000;
  petest::Bytes tree = petest::StartingTree();
  petest::Put32(&tree, petest::tree::kDataEntry, petest::kTreeRva + kEntryStart);
  petest::Put32(&tree, petest::tree::kDataEntry + 4, kEntrySize);
  petest::Bytes image = petest::HandMadeImage(tree);
  const std::size_t optional = 0x40 + 4 + 20, section = optional + 224;
  const std::uint32_t extent = kEntryStart + kEntrySize;
  petest::Put32(&image, optional + 56, petest::kTreeRva + extent);  // size of image
  petest::Put32(&image, section + 8, extent);                        // virtual size
  petest::Put32(&image, section + 16, extent);                       // raw size
  std::vector<std::uint8_t> tail(kTailSize);
  for (std::size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::uint64_t tailOffset = petest::kTreeFileOffset + std::uint64_t(extent) - kTailSize;

  TempFolder folder;
  const std::string path = folder.File("sparse.exe");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.seekp(static_cast<std::streamoff>(tailOffset));
    out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    out.close();
    if (!out) {
      std::remove(path.c_str());
      GTEST_SKIP() << "this file system cannot hold a sparse file of " << (tailOffset + kTailSize) << " bytes";
    }
  }
  // What the entry's checksum must be: zeros up to the tail, then the tail.
  Crc32 expected;
  {
    const std::vector<std::uint8_t> zeros(1u << 20);
    std::uint64_t left = kEntrySize - kTailSize;
    for (; left > 0; left -= std::min<std::uint64_t>(left, zeros.size())) {
      expected.Update(zeros.data(), static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size())));
    }
    expected.Update(tail.data(), tail.size());
  }

  platform::ProcessMemory before;
  platform::QueryProcessMemory(&before);
  std::string error;
  auto store = patch::ModuleEntrySource::Open(path.c_str(), &error);
  ASSERT_TRUE(store) << error;
  patch::EntryRange entry;
  ASSERT_TRUE(patch::FindEntry(*store, "a", &entry));
  ASSERT_EQ(entry.size, kEntrySize);
  Crc32 crc;
  std::uint64_t seen = 0;
  std::vector<std::uint8_t> last;
  const bool read = patch::ForEachPiece(*store, entry, [&](const std::uint8_t* data, std::size_t size) {
    crc.Update(data, size);
    seen += size;
    if (seen == kEntrySize) last.assign(data + size - kTailSize, data + size);
    return true;
  }, &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(seen, kEntrySize);
  EXPECT_EQ(last, tail);
  EXPECT_EQ(crc.Value(), expected.Value());
  // Past its end the entry is not read.
  std::uint8_t byte = 0;
  EXPECT_FALSE(store->Read(entry, kEntrySize, &byte, 1, &error));

  platform::ProcessMemory after;
  platform::QueryProcessMemory(&after);
  std::printf("memory: peak %.1f MiB before, %.1f MiB after reading a %.1f MiB entry\n",
              before.peakWorkingSet / 1048576.0, after.peakWorkingSet / 1048576.0, kEntrySize / 1048576.0);
  EXPECT_LE(after.peakWorkingSet, std::max(before.peakWorkingSet, before.workingSet + (std::uint64_t(256) << 20)));
}

}  // namespace
