// A 300 MiB resource written into a copy of a real executable and read back through both resource
// accesses, with the process's memory measured: the writer streams, so its peak stays near where it
// started. Runs with ZR_LARGE_TESTS=1 (it writes and reads 300 MiB twice). The sparse patch of more
// than 2 GiB always runs: it writes 12 KiB.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "handMadeImage.h"
#include "peTestSupport.h"
#include "platform/processMemory.h"
#include "platform/resourceFiles.h"
#include "support/tempFolder.h"

namespace {

constexpr std::size_t kPiece = std::size_t(1) << 20;
constexpr std::size_t kEntrySize = std::size_t(300) << 20;

// The bytes of piece `index`: every 8-byte word holds its own offset in the entry, so a piece that is
// misplaced, repeated or missing shows.
void FillPiece(std::size_t index, std::vector<std::uint8_t>* piece) {
  piece->resize(kPiece);
  for (std::size_t word = 0; word < kPiece / 8; ++word) {
    const std::uint64_t offset = index * kPiece + word * 8;
    std::memcpy(piece->data() + word * 8, &offset, 8);
  }
}

double MiB(std::uint64_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

platform::ProcessMemory Memory() {
  platform::ProcessMemory memory;
  platform::QueryProcessMemory(&memory);
  return memory;
}

void ExpectEntryReads(platform::ResourceAccess* access, const std::string& path, const char* which) {
  std::string error;
  auto module = access->Open(path.c_str(), &error);
  ASSERT_TRUE(module) << which << ": " << error;
  std::uint64_t position = 0;
  std::uint32_t size = 0;
  ASSERT_TRUE(module->FindEntry("all\\huge.pak", &position, &size)) << which;
  ASSERT_EQ(size, kEntrySize) << which;
  std::vector<std::uint8_t> expected, read(kPiece);
  for (std::size_t piece = 0; piece < kEntrySize / kPiece; ++piece) {
    FillPiece(piece, &expected);
    ASSERT_TRUE(module->ReadEntry(position + piece * kPiece, read.data(), kPiece, &error)) << which << ": " << error;
    ASSERT_EQ(read, expected) << which << ": piece " << piece;
  }
  EXPECT_EQ(petest::EntryText(module.get(), "MULTI"), "neutral") << which;
  char version[32];
  access->FileVersionText(path.c_str(), version, sizeof version);
  EXPECT_STREQ(version, "1.05") << which;
}

TEST(LargeResource, ThreeHundredMiBWrittenAndReadInBoundedMemory) {
  const char* wanted = std::getenv("ZR_LARGE_TESTS");
  if (!wanted || std::string(wanted) != "1") GTEST_SKIP() << "set ZR_LARGE_TESTS=1";
  TempFolder folder;
  const std::string entryPath = folder.File("huge.pak");
  {
    std::ofstream out(entryPath, std::ios::binary);
    std::vector<std::uint8_t> piece;
    for (std::size_t index = 0; index < kEntrySize / kPiece; ++index) {
      FillPiece(index, &piece);
      out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    }
  }
  const std::string output = folder.File("patch.exe");
  platform::FileResource resource;
  resource.type = pe::ResourceId::Number(pe::kRcDataType);
  resource.name = pe::ResourceId::Name(u"ALL\\HUGE.PAK");
  resource.path = entryPath;

  const platform::ProcessMemory before = Memory();
  pe::WriteReport report;
  std::string error;
  ASSERT_TRUE(platform::WriteResourcesToFile(petest::Fixture("resources64.exe").c_str(), {resource}, output.c_str(),
                                             &report, &error))
      << error;
  const platform::ProcessMemory written = Memory();
  std::printf("memory: resident %.1f MiB before the write, peak %.1f MiB after it (committed %.1f MiB)\n",
              MiB(before.workingSet), MiB(written.peakWorkingSet), MiB(written.committed));
  // The writer holds one 1 MiB piece and the resource tree, not the entry.
  EXPECT_LT(written.peakWorkingSet, std::max(before.peakWorkingSet, before.workingSet) + (std::uint64_t(64) << 20));

  ExpectEntryReads(platform::PortableResourceAccess(), output, "portable reader");
  const platform::ProcessMemory portable = Memory();
  ExpectEntryReads(platform::NativeResourceAccess(), output, "platform's resource access");
  const platform::ProcessMemory native = Memory();
  std::printf("memory: peak %.1f MiB after the portable reader, %.1f MiB after the platform's (mapped file pages "
              "count as resident while an entry is read; committed %.1f / %.1f MiB)\n",
              MiB(portable.peakWorkingSet), MiB(native.peakWorkingSet), MiB(portable.committed), MiB(native.committed));
}

// A patch executable of more than 2 GiB, written sparse: the hand-made image's resource section grows
// to 2 GiB + 8 KiB and its one entry moves to its last 4 KiB, past file offset 2^31. (The format's
// offsets and sizes are 32-bit, so no resource can lie past 4 GiB.) The entry is found and read
// back whole, with the process's peak memory far below the file's size.
TEST(LargeResource, EntryPastTwoGiBInASparsePatch) {
  constexpr std::uint32_t kGap = 0x80001000u;  // from the section's start to the entry
  constexpr std::uint32_t kTailSize = 0x1000;
  petest::Bytes tree = petest::StartingTree();
  petest::Put32(&tree, petest::tree::kDataEntry, petest::kTreeRva + kGap);
  petest::Put32(&tree, petest::tree::kDataEntry + 4, kTailSize);
  petest::Bytes image = petest::HandMadeImage(tree);
  const std::size_t optional = 0x40 + 4 + 20, section = optional + 224;
  const std::uint32_t extent = kGap + kTailSize;
  petest::Put32(&image, optional + 56, petest::kTreeRva + extent);  // size of image
  petest::Put32(&image, section + 8, extent);                        // virtual size
  petest::Put32(&image, section + 16, extent);                       // raw size
  std::vector<std::uint8_t> tail(kTailSize);
  for (std::size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::uint64_t tailOffset = petest::kTreeFileOffset + std::uint64_t(kGap);
  ASSERT_GT(tailOffset, std::uint64_t(1) << 31);

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

  // The system's functions on Windows map the whole file, which a 32-bit process has no room for; the
  // portable reader reads pieces and takes it in every build.
  std::vector<platform::ResourceAccess*> accesses = {platform::PortableResourceAccess()};
  if (sizeof(void*) >= 8) accesses.push_back(platform::NativeResourceAccess());
  const platform::ProcessMemory before = Memory();
  for (platform::ResourceAccess* access : accesses) {
    const char* which = access == platform::PortableResourceAccess() ? "portable reader" : "platform's resource access";
    std::string error;
    auto module = access->Open(path.c_str(), &error);
    ASSERT_TRUE(module) << which << ": " << error;
    std::uint64_t position = 0;
    std::uint32_t size = 0;
    ASSERT_TRUE(module->FindEntry("A", &position, &size)) << which;
    ASSERT_EQ(size, kTailSize) << which;
    std::vector<std::uint8_t> read(size);
    ASSERT_TRUE(module->ReadEntry(position, read.data(), size, &error)) << which << ": " << error;
    EXPECT_EQ(read, tail) << which;
  }
  const platform::ProcessMemory after = Memory();
  std::printf("memory: peak %.1f MiB before, %.1f MiB after reading a %.1f MiB patch\n", MiB(before.peakWorkingSet),
              MiB(after.peakWorkingSet), MiB(tailOffset + kTailSize));
  // The peak rises by less than 256 MiB over what is resident now (or stays where an earlier test left it).
  EXPECT_LE(after.peakWorkingSet, std::max(before.peakWorkingSet, before.workingSet + (std::uint64_t(256) << 20)));
}

}  // namespace
