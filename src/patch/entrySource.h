#pragma once
// Where the patch store's entries come from: the named byte blocks (RCDATA resources) of a Windows
// patch executable. On Windows that is the program's own module, read through the system's resource
// functions; on Linux the portable PE reader over the patch executable. Tests use a plain map.

#include <cstddef>
#include <cstdint>

namespace patch {

class EntrySource {
 public:
  virtual ~EntrySource() = default;
  // Calls `visit` for every entry that has a string name, in the order the platform delivers them:
  // sorted by their upper-case spelling. Entries named by integer identifiers are not visited.
  virtual void EnumerateNames(void (*visit)(const char* name, void* context), void* context) = 0;
  // The bytes of the entry named `upperName` (already upper-cased); false when there is none. The
  // bytes stay valid as long as the source lives.
  virtual bool Find(const char* upperName, const std::uint8_t** data, std::size_t* size) = 0;
};

}  // namespace patch
