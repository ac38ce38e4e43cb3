#pragma once
// FastAlloc: a pool of fixed-size elements carved from chunks taken from the C heap.
//
// Each element is preceded by a back-pointer to its chunk; each chunk starts with a header whose first
// word is always 0 (checked on every free, to catch a corrupted chunk or a foreign pointer) followed by
// the owning allocator, the count of used elements, the head of its free list and the list links.
// Chunks sit on one of three lists: partial (free and used elements), empty (no used element), full.
//
// On the 32-bit Windows target the back-pointer is 4 bytes and the fixed chunk header 24 bytes; on
// 64-bit Linux both scale with the pointer size (8 and 48), so the element and chunk numbers differ
// there while the rules that derive them stay the same.
//
// The allocator holds a count that starts at 1 for its owner and rises by one per live element; the
// owner's share is released by the destructor (reporting "FastAlloc %s not free when destructed." when
// elements are still live). Not thread-safe: callers that share one across threads lock around it.

#include <cstddef>
#include <cstdint>

constexpr int kFastAllocPointer = static_cast<int>(sizeof(void*));  // the back-pointer
constexpr int kFastAllocFixedHeader = 6 * kFastAllocPointer;        // the chunk header's six words
constexpr int kFastAllocDefaultChunk = 8192;
constexpr int kFastCAllocExtraHeader = 12;
constexpr int kFastCAllocSlots = 256;

struct FastAllocGeometry {
  int elementSize;       // object + back-pointer, aligned
  int alignment;
  int headerSize;        // fixed header rounded to the alignment, plus the extra header
  int chunkSize;
  int elementsPerChunk;
};

class FastAlloc {
 public:
  struct Chunk;

  // `objectSize` bytes per object; `extraHeader` bytes reserved in each chunk after its fixed header;
  // `chunkSize` 0 or less picks the default (8192, doubled while too much of a chunk would be left over).
  FastAlloc(std::size_t objectSize, const char* name, int extraHeader = 0, int chunkSize = 0);
  virtual ~FastAlloc();
  FastAlloc(const FastAlloc&) = delete;
  FastAlloc& operator=(const FastAlloc&) = delete;

  virtual void ReleaseChunk(Chunk* chunk);  // returns one chunk to the C heap
  virtual void ReleaseAll();                // returns every chunk of every list

  // One element, or null when the C heap refuses a new chunk.
  void* Alloc();
  // Gives an element back (null: nothing). With `trim`, empty chunks are returned when more than one
  // chunk with room would remain. A chunk whose header is corrupted is reported and left alone.
  void Free(void* object, bool trim = false);

  // Element size and chunk geometry; constexpr so that builds can check the numbers at compile time.
  static constexpr FastAllocGeometry Geometry(std::size_t objectSize, int extraHeader, int chunkSize);

  const char* Name() const { return name_; }
  int ElementSize() const { return geometry_.elementSize; }
  int ChunkSize() const { return geometry_.chunkSize; }
  int ElementsPerChunk() const { return geometry_.elementsPerChunk; }
  int HeaderSize() const { return geometry_.headerSize; }
  int LiveElements() const { return liveElements_; }
  int PartialChunks() const { return partial_.count; }
  int EmptyChunks() const { return empty_.count; }
  int FullChunks() const { return full_.count; }
  std::size_t BytesHeld() const;

  // Walks every chunk's free list; reports "Bad pointer %p on %p" and "Chunk %p in %s not valid".
  bool CheckIntegrity() const;

 private:
  struct ChunkList {
    Chunk* head = nullptr;
    int count = 0;
  };
  Chunk* NewChunk();
  static void Link(ChunkList& list, Chunk* chunk);
  static void Unlink(ChunkList& list, Chunk* chunk);
  void ReleaseList(ChunkList& list);
  bool CheckChunk(const Chunk* chunk) const;

  ChunkList partial_, empty_, full_;
  const char* name_;
  FastAllocGeometry geometry_;
  int liveElements_ = 0;
  int count_ = 1;  // the owner's share plus one per live element
};

// A FastAlloc with a 12-byte extra header that registers itself in a process-wide table of at most
// 256 allocators, for the statistics report and the integrity check.
class FastCAlloc : public FastAlloc {
 public:
  FastCAlloc(std::size_t objectSize, const char* name, int chunkSize = 0);
  ~FastCAlloc() override;
  bool IsRegistered() const { return registered_; }

  // "%10s: requested %d, allocated %d" to the diagnostics log for every registered allocator holding
  // memory, largest holding first.
  static void ReportStatistics();
  static bool CheckAll();
  static int RegisteredCount();

 private:
  bool registered_ = false;
};

constexpr FastAllocGeometry FastAlloc::Geometry(std::size_t objectSize, int extraHeader, int chunkSize) {
  auto roundUp = [](int value, int alignment) { return (value + alignment - 1) / alignment * alignment; };
  FastAllocGeometry g{};
  const int object = objectSize > (1u << 28) ? (1 << 28) : static_cast<int>(objectSize);
  // The element carries its back-pointer and must hold a free-list link where the object goes.
  g.elementSize = object + kFastAllocPointer;
  if (g.elementSize < 2 * kFastAllocPointer) g.elementSize = 2 * kFastAllocPointer;
  g.alignment = kFastAllocPointer;
  if (g.elementSize > 32 && g.elementSize % 8 == 0 && kFastAllocPointer < 8) g.alignment = 8;
  g.elementSize = roundUp(g.elementSize, g.alignment);
  g.headerSize = roundUp(kFastAllocFixedHeader, g.alignment) + (extraHeader > 0 ? extraHeader : 0);
  // On 64-bit the extra header must not leave the elements off pointer alignment.
  if (kFastAllocPointer > 4) g.headerSize = roundUp(g.headerSize, kFastAllocPointer);

  const bool defaultSize = chunkSize <= 0;
  std::int64_t c = defaultSize ? kFastAllocDefaultChunk : chunkSize;
  auto perChunk = [&g](std::int64_t size) {
    std::int64_t n = (size - g.headerSize - kFastAllocFixedHeader) / g.elementSize;
    return n < 0 ? std::int64_t{0} : n;
  };
  std::int64_t n = perChunk(c);
  if (defaultSize) {
    // Double the chunk while more than a twentieth of it would be left over.
    while ((c - n * g.elementSize) * 20 > c && c < (std::int64_t{1} << 30)) {
      c *= 2;
      n = perChunk(c);
    }
  }
  if (n < 1) {
    // An element larger than the chunk asked for: make room for one rather than a chunk with none.
    c = g.headerSize + kFastAllocFixedHeader + g.elementSize;
    n = 1;
  }
  g.chunkSize = static_cast<int>(c);
  g.elementsPerChunk = static_cast<int>(n);
  return g;
}
