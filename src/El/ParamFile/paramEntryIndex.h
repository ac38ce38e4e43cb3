#pragma once
// Optional name index of a class: a hash table from member name (hashed and compared ignoring case)
// to member position. The table grows when its entries exceed 16 per bucket on average.

#include <cstdint>

#include "Es/Containers/array.h"

class ParamEntry;

class ParamEntryIndex {
 public:
  // `entriesPerBucket`: the average bucket load that makes the table grow.
  explicit ParamEntryIndex(int entriesPerBucket = 16) : entriesPerBucket_(entriesPerBucket) {}

  // Indexes every member of `entries`.
  void Build(const DynArray<ParamEntry*>& entries);
  // Position of the member named `name` in `entries`, or -1.
  int Find(const char* name, const DynArray<ParamEntry*>& entries) const;
  // Registers the member at `position` (appended after the last indexed one).
  void Add(const DynArray<ParamEntry*>& entries, int position);
  std::size_t GetMemoryUsed() const;

  static std::uint32_t Hash(const char* name);

 private:
  void Rehash(const DynArray<ParamEntry*>& entries, int bucketCount);

  DynArray<DynArray<int>> buckets_;
  int count_ = 0;
  int entriesPerBucket_;
};
