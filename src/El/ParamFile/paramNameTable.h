#pragma once
// A loader's table of the texts it has shared so far. A tree repeats its member names, and often its
// value texts, many times: one lookup here is cheaper than one in the string bank, or than a block of
// its own for every repeat. Open addressing over one array; each text keeps its case-insensitive name
// hash (ParamEntryIndex::Hash), which the loaders also use to skip lookups for new members.

#include <cstdint>
#include <string>
#include <vector>

#include "Es/Containers/compactBuf.h"

class ParamNameTable {
 public:
  enum Sharing {
    kBank,  // names: the blocks of the process-wide string bank, as ParamShareName gives them
    kOwn,   // value texts: one block of the table's own for all repeats of a text
  };
  struct Shared {
    RefString text;
    std::uint32_t hash = 0;
  };

  explicit ParamNameTable(Sharing sharing = kBank) : sharing_(sharing) {}

  // `text` up to its first NUL byte, shared (empty text: no block).
  Shared Share(const std::string& text);

 private:
  struct Slot {
    RefString text;  // none: the slot is free
    std::uint32_t hash = 0;
    std::uint32_t length = 0;
  };

  void Grow();

  Sharing sharing_;
  std::vector<Slot> slots_;  // a power of two in size, at most half full
  std::size_t count_ = 0;
};

// Tells a loader that a class cannot hold a member of a given name yet, so that the search for a
// duplicate is skipped: one bit per name hash (ParamNameTable::Shared::hash) of the members added so
// far. In a class with many members most bits are set, and names are searched as before.
class ParamMemberFilter {
 public:
  // `members`: how many members the class holds already; the filter knows none of them, so any name
  // may be there.
  explicit ParamMemberFilter(int members) : bits_(members > 0 ? ~std::uint64_t(0) : 0) {}

  bool MayHold(std::uint32_t hash) const { return (bits_ >> (hash & 63)) & 1; }
  void Add(std::uint32_t hash) { bits_ |= std::uint64_t(1) << (hash & 63); }

 private:
  std::uint64_t bits_;
};
