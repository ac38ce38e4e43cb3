#pragma once
// The memory interface: containers obtain and return raw memory through the process-wide
// `GMemFunctions`. The default instance uses the C heap and lives for the whole process (the interface
// deliberately has no destructor slot). Replace it to count or fail allocations in tests.

#include <cstddef>

class MemFunctions {
 public:
  constexpr MemFunctions() = default;

  virtual void* New(std::size_t size, const char* file, int line);                       // 0
  virtual void* New(std::size_t size);                                                   // 1
  virtual void Delete(void* memory, const char* file, int line);                         // 2
  virtual void Delete(void* memory);                                                     // 3
  virtual void* Realloc(void* memory, std::size_t size, const char* file, int line);     // 4
  virtual void* Realloc(void* memory, std::size_t size);                                 // 5
  // Grows or shrinks a block without moving it; false when it cannot (callers then copy).
  virtual bool Resize(void* memory, std::size_t size);                                   // 6
  virtual void* NewPage(std::size_t size, std::size_t alignment);                        // 7
  virtual void DeletePage(void* page, std::size_t size);                                 // 8
  virtual std::size_t GetPageRecommendedSize();                                          // 9
  virtual std::size_t TotalAllocated();                                                  // 10
  virtual std::size_t FreeSpace();                                                       // 11
  virtual std::size_t FreeSpaceTotal();                                                  // 12: forwards to 11
  virtual std::size_t TotalCommitted();                                                  // 13
  virtual int CheckIntegrity();                                                          // 14
  virtual int CanCheckIntegrity();                                                       // 15
  virtual void CleanUp();                                                                // 16
  virtual bool IsHeapUsable();                                                           // 17
  virtual bool IsOutOfMemory();                                                          // 18
  virtual void FrameDone();                                                              // 19

 protected:
  ~MemFunctions() = default;
};

// Never null; points at the C-heap default before any code runs.
extern MemFunctions* GMemFunctions;
MemFunctions* DefaultMemFunctions();
