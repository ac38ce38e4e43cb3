#include "El/ParamFile/paramArena.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include "El/ParamFile/paramFile.h"
#include "platform/processMemory.h"

// Every object is aligned to kAlign and preceded by one word that names its arena (null: the heap).
// Inside a block the free space starts one word before an aligned address, so each object takes its
// word and its size rounded up to kAlign, and the next free space starts the same way.
//
// The first blocks are small ones from the C heap, so that a small tree costs little; a large tree
// continues in large blocks straight from the system, which cost far fewer page faults to fill and go
// back to the system whole when the arena goes.

namespace {

// Entries hold pointers, integers and floats: 8 bytes is all the alignment they need (checked below),
// and all a heap block would give them on the 32-bit target.
constexpr std::size_t kAlign = 8;
constexpr std::size_t kWord = sizeof(ParamArena*);
constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kLargeBlocksFrom = 1024 * 1024;  // reserved in small blocks before large ones
static_assert(kWord <= kAlign, "the arena word fits in front of an aligned object");
static_assert(alignof(ParamFile) <= kAlign && alignof(ParamClassPlaceholder) <= kAlign &&
                  alignof(ParamEntryError) <= kAlign && alignof(ParamArray) <= kAlign &&
                  alignof(ParamValueText) <= kAlign && alignof(ParamValueFloat) <= kAlign &&
                  alignof(ParamArrayValueArray) <= kAlign && alignof(ParamArrayValueSpec<ParamRawValue>) <= kAlign,
              "entries fit the arena's alignment");

thread_local ParamArena* currentArena = nullptr;

std::size_t RoundUp(std::size_t size) { return (size + kAlign - 1) / kAlign * kAlign; }

ParamArena*& ArenaWord(void* object) { return *reinterpret_cast<ParamArena**>(static_cast<char*>(object) - kWord); }

}  // namespace

struct ParamArena::Block {
  Block* next;
  bool large;  // from platform::AllocateLargeBlock, else from the C heap
};

ParamArena::~ParamArena() {
  while (blocks_) {
    Block* next = blocks_->next;
    if (blocks_->large) {
      platform::FreeLargeBlock(blocks_);
    } else {
      std::free(blocks_);
    }
    blocks_ = next;
  }
}

char* ParamArena::Take(std::size_t bytes) {
  // An object large for a block gets one of its own; the current block stays current.
  const bool own = bytes > kBlockSize / 4;
  if (own || static_cast<std::size_t>(end_ - next_) < bytes) {
    const std::size_t header = RoundUp(sizeof(Block) + kWord);  // the first object's word follows the Block
    Block* block = nullptr;
    std::size_t size = platform::kLargeBlockSize;
    if (!own && reserved_ >= kLargeBlocksFrom) block = static_cast<Block*>(platform::AllocateLargeBlock());
    if (block) {
      block->large = true;
      systemReserved_ += size;
    } else {
      size = header + (own ? bytes : kBlockSize);
      block = static_cast<Block*>(std::malloc(size));
      if (!block) throw std::bad_alloc();
      block->large = false;
    }
    block->next = blocks_;
    blocks_ = block;
    reserved_ += size;
    char* start = reinterpret_cast<char*>(block) + header - kWord;
    if (own) return start;
    next_ = start;
    end_ = reinterpret_cast<char*>(block) + size;
  }
  char* taken = next_;
  next_ += bytes;
  return taken;
}

void* ParamArena::Allocate(std::size_t size) {
  ParamArena* arena = currentArena;
  char* object;
  if (arena) {
    object = arena->Take(RoundUp(kWord + size)) + kWord;
    arena->AddRef();
  } else {
    char* memory = static_cast<char*>(std::malloc(kAlign + size));
    if (!memory) throw std::bad_alloc();
    object = memory + kAlign;
  }
  ArenaWord(object) = arena;
  return object;
}

void ParamArena::Free(void* object) {
  if (!object) return;
  ParamArena* arena = ArenaWord(object);
  if (arena) {
    arena->Release();
  } else {
    std::free(static_cast<char*>(object) - kAlign);
  }
}

ParamArenaScope::ParamArenaScope(ParamArena* arena) : previous_(currentArena) { currentArena = arena; }

ParamArenaScope::~ParamArenaScope() { currentArena = previous_; }
