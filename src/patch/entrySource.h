#pragma once
// Where the patch store's entries come from: the named byte blocks (RCDATA resources) of a Windows
// patch executable, read from the file through the portable PE reader; tests use a plain map. An
// entry is found first, then read in pieces, so that no entry has to fit in memory whole.

#include <cstddef>
#include <cstdint>
#include <string>

namespace patch {

// Where one entry lies in its store, as Find gives it.
struct EntryRange {
  std::uint64_t position = 0;  // the store's own place for it
  std::uint64_t size = 0;
};

class EntrySource {
 public:
  virtual ~EntrySource() = default;
  // Calls `visit` for every entry that has a string name, in the order the platform delivers them:
  // sorted by their upper-case spelling. Entries named by integer identifiers are not visited.
  virtual void EnumerateNames(void (*visit)(const char* name, void* context), void* context) = 0;
  // The place of the entry named `upperName` (already upper-cased); false when there is none.
  virtual bool Find(const char* upperName, EntryRange* entry) = 0;
  // Exactly `size` bytes from `offset` on inside `entry` (offset + size at most entry.size). False,
  // with the reason in *error, when they cannot be read. Safe to call from several threads at once.
  virtual bool Read(const EntryRange& entry, std::uint64_t offset, void* buffer, std::size_t size,
                    std::string* error) = 0;
};

}  // namespace patch
