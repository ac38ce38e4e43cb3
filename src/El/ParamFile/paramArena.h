#pragma once
// Memory for the entries that a loader creates. A large config has millions of small entries and
// array elements; taking each from the C heap made loading, and freeing the tree afterwards, cost
// more than reading the file. An arena hands out its blocks in order and returns them all together.
//
// Entries and array elements get their memory through ParamArena::Allocate: from the arena that a
// ParamArenaScope made current on this thread, or from the C heap when there is none. Each object
// remembers where it came from, so deleting one works the same either way. Every object placed in an
// arena holds a reference to it: a class kept alive after its file is gone, or moved into another
// file, stays valid. The memory of an object deleted early is reused only when the whole arena goes,
// so loaders use an arena only for trees that are not unloaded piecemeal.

#include <cstddef>

#include "Es/Containers/refCount.h"

class ParamArena : public RefCount {
 public:
  ParamArena() = default;
  ~ParamArena() override;
  ParamArena(const ParamArena&) = delete;
  ParamArena& operator=(const ParamArena&) = delete;

  // Memory for one entry or array element of `size` bytes, aligned to 8 bytes. Throws std::bad_alloc
  // when the heap is exhausted, as operator new does.
  static void* Allocate(std::size_t size);
  // Returns memory from Allocate (null: nothing).
  static void Free(void* object);

  // Bytes taken for blocks, and the part of them taken straight from the system rather than the heap.
  std::size_t GetReservedSize() const { return reserved_; }
  std::size_t GetSystemReservedSize() const { return systemReserved_; }

 private:
  friend class ParamArenaScope;
  struct Block;

  // Room for `bytes` (a multiple of the alignment) in the current block or a new one.
  char* Take(std::size_t bytes);

  Block* blocks_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t reserved_ = 0;
  std::size_t systemReserved_ = 0;
};

// Makes `arena` the one that objects come from on this thread while the scope lasts (null: the heap),
// and restores the previous one after.
class ParamArenaScope {
 public:
  explicit ParamArenaScope(ParamArena* arena);
  ~ParamArenaScope();
  ParamArenaScope(const ParamArenaScope&) = delete;
  ParamArenaScope& operator=(const ParamArenaScope&) = delete;

 private:
  ParamArena* previous_;
};

// Gives a class hierarchy the arena's allocation.
#define PARAM_ARENA_ALLOCATED                                                        \
  static void* operator new(std::size_t size) { return ParamArena::Allocate(size); } \
  static void operator delete(void* object) { ParamArena::Free(object); }
