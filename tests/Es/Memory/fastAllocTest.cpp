#include "Es/Memory/fastAlloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "support/captureDiagnostics.h"

namespace {

const bool k32Bit = sizeof(void*) == 4;

std::uintptr_t* ChunkOf(void* object) {
  return *reinterpret_cast<std::uintptr_t**>(static_cast<char*>(object) - kFastAllocPointer);
}

}  // namespace

// The 32-bit Windows build checks its exact numbers while compiling, so they hold even where its tests
// cannot be run.
static_assert(kFastAllocPointer != 4 || (FastAlloc::Geometry(4, 0, 0).elementsPerChunk == 1018 &&
                                         FastAlloc::Geometry(4, 0, 0).headerSize == 24 &&
                                         FastAlloc::Geometry(100, 0, 0).elementSize == 104 &&
                                         FastAlloc::Geometry(3000, 0, 0).chunkSize == 65536 &&
                                         FastAlloc::Geometry(4, kFastCAllocExtraHeader, 0).headerSize == 36),
              "32-bit chunk geometry");

TEST(FastAllocGeometry, ExactNumbers) {
  FastAllocGeometry small = FastAlloc::Geometry(4, 0, 0);
  FastAllocGeometry odd = FastAlloc::Geometry(29, 0, 0);
  FastAllocGeometry wide = FastAlloc::Geometry(100, 0, 0);
  FastAllocGeometry big = FastAlloc::Geometry(3000, 0, 0);
  FastAllocGeometry registered = FastAlloc::Geometry(4, kFastCAllocExtraHeader, 0);
  if (k32Bit) {
    // The numbers the Windows target must produce exactly.
    EXPECT_EQ(small.elementSize, 8);
    EXPECT_EQ(small.headerSize, 24);
    EXPECT_EQ(small.chunkSize, 8192);
    EXPECT_EQ(small.elementsPerChunk, 1018);  // (8192 - 24 - 24) / 8
    EXPECT_EQ(odd.elementSize, 36);           // 33 is not a multiple of 8: aligned to 4
    EXPECT_EQ(odd.alignment, 4);
    EXPECT_EQ(odd.elementsPerChunk, 226);
    EXPECT_EQ(wide.elementSize, 104);
    EXPECT_EQ(wide.alignment, 8);
    EXPECT_EQ(wide.elementsPerChunk, 78);
    EXPECT_EQ(big.elementSize, 3004);
    EXPECT_EQ(big.chunkSize, 65536);          // doubled three times: leftovers 2184, 1364, 2728
    EXPECT_EQ(big.elementsPerChunk, 21);
    EXPECT_EQ(registered.headerSize, 36);
    EXPECT_EQ(registered.elementsPerChunk, 1016);
  } else {
    EXPECT_EQ(small.elementSize, 16);
    EXPECT_EQ(small.headerSize, 48);
    EXPECT_EQ(small.elementsPerChunk, 506);
    EXPECT_EQ(wide.elementSize, 112);
    EXPECT_EQ(wide.elementsPerChunk, 72);
    EXPECT_EQ(registered.headerSize, 64);     // 48 + 12, kept on pointer alignment
    EXPECT_EQ(registered.elementsPerChunk, 505);
  }
  // An explicit chunk size is kept even with a large leftover, but never yields an empty chunk.
  FastAllocGeometry fixed = FastAlloc::Geometry(3000, 0, 4096);
  EXPECT_EQ(fixed.chunkSize, 4096);
  EXPECT_EQ(fixed.elementsPerChunk, 1);
  FastAllocGeometry tooSmall = FastAlloc::Geometry(5000, 0, 4096);
  EXPECT_EQ(tooSmall.elementsPerChunk, 1);
  EXPECT_GE(tooSmall.chunkSize, tooSmall.headerSize + kFastAllocFixedHeader + tooSmall.elementSize);
}

TEST(FastAlloc, ChunksMoveBetweenListsAndElementsDoNotOverlap) {
  FastAlloc pool(24, "nodes");
  const int perChunk = pool.ElementsPerChunk();
  std::vector<char*> items;
  for (int i = 0; i < perChunk + 1; ++i) {
    char* item = static_cast<char*>(pool.Alloc());
    ASSERT_NE(item, nullptr);
    for (int b = 0; b < 24; ++b) item[b] = static_cast<char>(i);
    items.push_back(item);
  }
  EXPECT_EQ(pool.FullChunks(), 1);
  EXPECT_EQ(pool.PartialChunks(), 1);
  EXPECT_EQ(pool.LiveElements(), perChunk + 1);
  for (int i = 0; i < perChunk + 1; ++i) EXPECT_EQ(items[i][23], static_cast<char>(i)) << i;
  pool.Free(items.back());  // the partial chunk's only element: it becomes empty
  items.pop_back();
  EXPECT_EQ(pool.EmptyChunks(), 1);
  EXPECT_EQ(pool.PartialChunks(), 0);
  pool.Free(items.front());  // the full chunk gets room
  EXPECT_EQ(pool.FullChunks(), 0);
  EXPECT_EQ(pool.PartialChunks(), 1);
  EXPECT_TRUE(pool.CheckIntegrity());
  for (size_t i = 1; i < items.size(); ++i) pool.Free(items[i]);
  EXPECT_EQ(pool.LiveElements(), 0);
}

TEST(FastAlloc, CorruptedChunkHeaderIsReportedAndLeftAlone) {
  CaptureDiagnostics capture;
  FastAlloc pool(16, "victim");
  void* item = pool.Alloc();
  std::uintptr_t* chunk = ChunkOf(item);
  chunk[0] = 0x5a5a;
  pool.Free(item);
  EXPECT_TRUE(capture.Contains("FastAlloc chunk header corrupted.\n"));
  EXPECT_TRUE(capture.Contains(", null 5a5a\n"));
  EXPECT_EQ(pool.LiveElements(), 1);  // nothing changed
  EXPECT_EQ(pool.FullChunks() + pool.PartialChunks(), 1);
  chunk[0] = 0;
  pool.Free(item);
  EXPECT_EQ(pool.LiveElements(), 0);
  EXPECT_EQ(pool.EmptyChunks(), 1);
}

TEST(FastAlloc, TrimmingReturnsEmptyChunksOnlyWhenAnotherHasRoom) {
  FastAlloc pool(8, "trim");
  const int perChunk = pool.ElementsPerChunk();
  std::vector<void*> first, second;
  for (int i = 0; i < perChunk; ++i) first.push_back(pool.Alloc());
  for (int i = 0; i < perChunk; ++i) second.push_back(pool.Alloc());
  ASSERT_EQ(pool.FullChunks(), 2);
  for (void* item : first) pool.Free(item, true);
  // The only chunk with room is the empty one: it stays.
  EXPECT_EQ(pool.EmptyChunks(), 1);
  pool.Free(second.back(), true);
  second.pop_back();
  EXPECT_EQ(pool.EmptyChunks(), 0);
  EXPECT_EQ(pool.PartialChunks(), 1);
  EXPECT_EQ(pool.BytesHeld(), static_cast<size_t>(pool.ChunkSize()));
  for (void* item : second) pool.Free(item);
}

TEST(FastAlloc, DestructionWithLiveElementsIsReported) {
  CaptureDiagnostics capture;
  {
    FastAlloc pool(8, "leaky");
    pool.Alloc();
  }
  EXPECT_EQ(capture.lines.size(), 1u);
  EXPECT_TRUE(capture.Contains("FastAlloc leaky not free when destructed.\n"));
  {
    FastAlloc pool(8, "tidy");
    pool.Free(pool.Alloc());
  }
  EXPECT_EQ(capture.lines.size(), 1u);
}

TEST(FastAlloc, IntegrityCheckFindsALinkOutsideTheChunk) {
  CaptureDiagnostics capture;
  FastAlloc pool(8, "checked");
  void* a = pool.Alloc();
  void* b = pool.Alloc();
  pool.Free(a);  // a heads the free list; its link sits where the object was
  void* saved = *static_cast<void**>(a);
  static int outside;
  *static_cast<void**>(a) = &outside;
  EXPECT_FALSE(pool.CheckIntegrity());
  EXPECT_TRUE(capture.Contains("Bad pointer "));
  EXPECT_TRUE(capture.Contains(" in checked not valid\n"));
  *static_cast<void**>(a) = saved;
  EXPECT_TRUE(pool.CheckIntegrity());
  pool.Free(b);
}

TEST(FastCAlloc, The257thRegistrationIsRefused) {
  CaptureDiagnostics capture;
  std::vector<std::unique_ptr<FastCAlloc>> pools;
  while (FastCAlloc::RegisteredCount() < kFastCAllocSlots) {
    pools.push_back(std::make_unique<FastCAlloc>(8, "slot"));
    ASSERT_TRUE(pools.back()->IsRegistered());
  }
  EXPECT_TRUE(capture.lines.empty());
  auto extra = std::make_unique<FastCAlloc>(8, "extra");
  EXPECT_FALSE(extra->IsRegistered());
  ASSERT_EQ(capture.lines.size(), 1u);
  EXPECT_EQ(capture.lines[0].rfind("fastAlloc(", 0), 0u);
  EXPECT_NE(capture.lines[0].find(") : Out of FastCAlloc slots\n"), std::string::npos);
  // The refused one still allocates; destroying it says it was never listed.
  extra->Free(extra->Alloc());
  extra.reset();
  EXPECT_TRUE(capture.Contains("FastCAlloc not listed?"));
  const int before = FastCAlloc::RegisteredCount();
  pools.pop_back();
  EXPECT_EQ(FastCAlloc::RegisteredCount(), before - 1);
}

TEST(FastCAlloc, StatisticsListHoldersLargestFirst) {
  CaptureDiagnostics capture;
  FastCAlloc small(8, "small");
  FastCAlloc large(3000, "large");
  FastCAlloc idle(8, "idle");
  void* a = small.Alloc();
  void* b = large.Alloc();
  void* c = large.Alloc();
  FastCAlloc::ReportStatistics();
  ASSERT_EQ(capture.lines.size(), 2u);  // "idle" holds no memory
  const int payload = large.ElementSize() - kFastAllocPointer;
  char expected[128];
  std::snprintf(expected, sizeof expected, "     large: requested %d, allocated %d\n", payload * 2,
                large.ChunkSize());
  EXPECT_EQ(capture.lines[0], expected);
  EXPECT_EQ(capture.lines[1].rfind("     small: requested ", 0), 0u);
  small.Free(a);
  large.Free(b);
  large.Free(c);
}
