#include "Es/Memory/memAlloc.h"

#include <cstdlib>

void* MemFunctions::New(std::size_t size, const char*, int) { return std::malloc(size); }
void* MemFunctions::New(std::size_t size) { return std::malloc(size); }
void MemFunctions::Delete(void* memory, const char*, int) { std::free(memory); }
void MemFunctions::Delete(void* memory) { std::free(memory); }
void* MemFunctions::Realloc(void* memory, std::size_t size, const char*, int) { return std::realloc(memory, size); }
void* MemFunctions::Realloc(void* memory, std::size_t size) { return std::realloc(memory, size); }
bool MemFunctions::Resize(void*, std::size_t) { return false; }
void* MemFunctions::NewPage(std::size_t size, std::size_t) { return std::malloc(size); }
void MemFunctions::DeletePage(void* page, std::size_t) { std::free(page); }
std::size_t MemFunctions::GetPageRecommendedSize() { return 8192; }
std::size_t MemFunctions::TotalAllocated() { return 0; }
std::size_t MemFunctions::FreeSpace() { return 0; }
std::size_t MemFunctions::FreeSpaceTotal() { return FreeSpace(); }
std::size_t MemFunctions::TotalCommitted() { return 0; }
int MemFunctions::CheckIntegrity() { return 1; }
int MemFunctions::CanCheckIntegrity() { return 1; }
void MemFunctions::CleanUp() {}
bool MemFunctions::IsHeapUsable() { return true; }
bool MemFunctions::IsOutOfMemory() { return false; }
void MemFunctions::FrameDone() {}

namespace {
class DefaultMemory : public MemFunctions {};
DefaultMemory defaultInstance;
}  // namespace

MemFunctions* DefaultMemFunctions() { return &defaultInstance; }
MemFunctions* GMemFunctions = &defaultInstance;
