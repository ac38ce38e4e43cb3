#include "Es/Memory/fastAlloc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "El/Common/appFrame.h"

struct FastAlloc::Chunk {
  std::uintptr_t zero;  // always 0: anything else means the header was overwritten
  FastAlloc* owner;
  std::intptr_t used;   // a full word, so the header keeps its six-word size
  void* freeHead;
  Chunk* prev;
  Chunk* next;
};
static_assert(sizeof(FastAlloc::Chunk) == kFastAllocFixedHeader, "the chunk header is six words");

namespace {

// An element is [back-pointer to its chunk][object]; a free element keeps its free-list link where
// the object would be.
FastAlloc::Chunk*& BackPointer(void* element) { return *static_cast<FastAlloc::Chunk**>(element); }
void*& FreeLink(void* element) { return *reinterpret_cast<void**>(static_cast<char*>(element) + kFastAllocPointer); }

unsigned AsHex(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pointer)); }

}  // namespace

FastAlloc::FastAlloc(std::size_t objectSize, const char* name, int extraHeader, int chunkSize)
    : name_(name ? name : ""), geometry_(Geometry(objectSize, extraHeader, chunkSize)) {}

FastAlloc::~FastAlloc() {
  if (liveElements_ > 0) LogF("FastAlloc %s not free when destructed.", name_);
  // The chunks of live elements are left to the C heap: returning them would leave their holders with
  // dangling memory, and no allocator remains to take the elements back.
  if (--count_ == 0) ReleaseAll();
}

void FastAlloc::Link(ChunkList& list, Chunk* chunk) {
  chunk->prev = nullptr;
  chunk->next = list.head;
  if (list.head) list.head->prev = chunk;
  list.head = chunk;
  ++list.count;
}

void FastAlloc::Unlink(ChunkList& list, Chunk* chunk) {
  if (chunk->prev) chunk->prev->next = chunk->next;
  else list.head = chunk->next;
  if (chunk->next) chunk->next->prev = chunk->prev;
  chunk->prev = chunk->next = nullptr;
  --list.count;
}

FastAlloc::Chunk* FastAlloc::NewChunk() {
  auto* chunk = static_cast<Chunk*>(std::malloc(static_cast<std::size_t>(geometry_.chunkSize)));
  if (!chunk) return nullptr;
  std::memset(chunk, 0, static_cast<std::size_t>(geometry_.headerSize));
  chunk->owner = this;
  // Thread every element onto the free list in address order.
  char* first = reinterpret_cast<char*>(chunk) + geometry_.headerSize;
  void* next = nullptr;
  for (int i = geometry_.elementsPerChunk - 1; i >= 0; --i) {
    void* element = first + static_cast<std::size_t>(i) * geometry_.elementSize;
    BackPointer(element) = chunk;
    FreeLink(element) = next;
    next = element;
  }
  chunk->freeHead = next;
  Link(empty_, chunk);
  return chunk;
}

void* FastAlloc::Alloc() {
  Chunk* chunk = partial_.head;
  if (!chunk) chunk = empty_.head;
  if (!chunk) chunk = NewChunk();
  if (!chunk) return nullptr;
  ++count_;
  if (chunk->used == 0) {
    Unlink(empty_, chunk);
    Link(partial_, chunk);
  }
  void* element = chunk->freeHead;
  chunk->freeHead = FreeLink(element);
  ++chunk->used;
  ++liveElements_;
  BackPointer(element) = chunk;
  if (!chunk->freeHead) {
    Unlink(partial_, chunk);
    Link(full_, chunk);
  }
  return static_cast<char*>(element) + kFastAllocPointer;
}

void FastAlloc::Free(void* object, bool trim) {
  if (!object) return;
  void* element = static_cast<char*>(object) - kFastAllocPointer;
  Chunk* chunk = BackPointer(element);
  if (chunk->zero != 0) {
    WarningMessage("FastAlloc chunk header corrupted.");
    WarningMessage("Chunk %x, null %x", AsHex(chunk), static_cast<unsigned>(chunk->zero));
    return;
  }
  const bool wasFull = chunk->freeHead == nullptr;
  FreeLink(element) = chunk->freeHead;
  chunk->freeHead = element;
  --chunk->used;
  --liveElements_;
  if (wasFull) {
    Unlink(full_, chunk);
    Link(chunk->used == 0 ? empty_ : partial_, chunk);
  } else if (chunk->used == 0) {
    Unlink(partial_, chunk);
    Link(empty_, chunk);
  }
  if (trim && empty_.count > 0 && empty_.count + partial_.count > 1) ReleaseList(empty_);
  if (--count_ == 0) ReleaseAll();
}

void FastAlloc::ReleaseChunk(Chunk* chunk) { std::free(chunk); }

void FastAlloc::ReleaseList(ChunkList& list) {
  while (Chunk* chunk = list.head) {
    Unlink(list, chunk);
    ReleaseChunk(chunk);
  }
}

void FastAlloc::ReleaseAll() {
  ReleaseList(partial_);
  ReleaseList(empty_);
  ReleaseList(full_);
}

std::size_t FastAlloc::BytesHeld() const {
  return static_cast<std::size_t>(partial_.count + empty_.count + full_.count) * geometry_.chunkSize;
}

bool FastAlloc::CheckChunk(const Chunk* chunk) const {
  const char* begin = reinterpret_cast<const char*>(chunk) + geometry_.headerSize;
  const char* end = begin + static_cast<std::size_t>(geometry_.elementsPerChunk) * geometry_.elementSize;
  int steps = 0;
  for (void* element = chunk->freeHead; element; element = FreeLink(element)) {
    const char* at = static_cast<const char*>(element);
    if (at < begin || at >= end || (at - begin) % geometry_.elementSize != 0 ||
        ++steps > geometry_.elementsPerChunk) {
      WarningMessage("Bad pointer %p on %p", element, static_cast<const void*>(chunk));
      return false;
    }
  }
  return true;
}

bool FastAlloc::CheckIntegrity() const {
  bool valid = true;
  for (const ChunkList* list : {&partial_, &empty_, &full_}) {
    for (const Chunk* chunk = list->head; chunk; chunk = chunk->next) {
      if (!CheckChunk(chunk)) {
        WarningMessage("Chunk %p in %s not valid", static_cast<const void*>(chunk), name_);
        valid = false;
      }
    }
  }
  return valid;
}

namespace {
FastCAlloc* registeredAllocators[kFastCAllocSlots];
int registeredCount = 0;
}  // namespace

FastCAlloc::FastCAlloc(std::size_t objectSize, const char* name, int chunkSize)
    : FastAlloc(objectSize, name, kFastCAllocExtraHeader, chunkSize) {
  if (registeredCount >= kFastCAllocSlots) {
    ReportPositionError("fastAlloc", __LINE__, "Out of FastCAlloc slots");
    return;
  }
  registeredAllocators[registeredCount++] = this;
  registered_ = true;
}

FastCAlloc::~FastCAlloc() {
  for (int i = 0; i < registeredCount; ++i) {
    if (registeredAllocators[i] == this) {
      registeredAllocators[i] = registeredAllocators[--registeredCount];
      return;
    }
  }
  LogF("FastCAlloc not listed?");
}

int FastCAlloc::RegisteredCount() { return registeredCount; }

void FastCAlloc::ReportStatistics() {
  FastCAlloc* holding[kFastCAllocSlots];
  int count = 0;
  for (int i = 0; i < registeredCount; ++i) {
    if (registeredAllocators[i]->BytesHeld() > 0) holding[count++] = registeredAllocators[i];
  }
  std::sort(holding, holding + count,
            [](const FastCAlloc* a, const FastCAlloc* b) { return a->BytesHeld() > b->BytesHeld(); });
  for (int i = 0; i < count; ++i) {
    const FastCAlloc* a = holding[i];
    LogF("%10s: requested %d, allocated %d", a->Name(), (a->ElementSize() - kFastAllocPointer) * a->LiveElements(),
         static_cast<int>(a->BytesHeld()));
  }
}

bool FastCAlloc::CheckAll() {
  bool valid = true;
  for (int i = 0; i < registeredCount; ++i) valid = registeredAllocators[i]->CheckIntegrity() && valid;
  return valid;
}
