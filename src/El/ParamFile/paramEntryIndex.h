#pragma once
// Optional name index of a class: a hash table from member name (hashed and compared ignoring case)
// to member position. The table grows when its entries exceed a set number per bucket on average (16
// by default). Buckets are chains through one array indexed by position, in ascending position order,
// so that the whole table is three blocks however many members it holds; that array keeps each name's
// hash, so a lookup compares names only where the hashes agree.

#include <cstdint>

#include "Es/Containers/array.h"

class ParamEntry;

class ParamEntryIndex {
 public:
  // `entriesPerBucket`: the average bucket load that makes the table grow.
  explicit ParamEntryIndex(int entriesPerBucket = 16) : entriesPerBucket_(entriesPerBucket) {}

  // Indexes every member of `entries`, with room for `expected` members in all before it grows.
  void Build(const DynArray<ParamEntry*>& entries, int expected = 0);
  // Position of the member named `name` (whose Hash is `hash`) in `entries`, or -1.
  int Find(const char* name, std::uint32_t hash, const DynArray<ParamEntry*>& entries) const;
  int Find(const char* name, const DynArray<ParamEntry*>& entries) const { return Find(name, Hash(name), entries); }
  // Registers the member at `position` (appended after the last indexed one), whose name's Hash is
  // `hash`.
  void Add(const DynArray<ParamEntry*>& entries, int position, std::uint32_t hash);
  std::size_t GetMemoryUsed() const;

  static std::uint32_t Hash(const char* name);

 private:
  void Rehash(const DynArray<ParamEntry*>& entries, int bucketCount);
  void Link(std::uint32_t hash, int position);

  // Per indexed position: the next position in the same bucket (-1 at its end) and the name's hash,
  // compared before the names themselves.
  struct Slot {
    int next;
    std::uint32_t hash;
  };

  DynArray<int> heads_;  // first position of each bucket, -1 when empty
  DynArray<int> tails_;  // last position of each bucket
  DynArray<Slot> slots_;
  int count_ = 0;
  int entriesPerBucket_;
};
