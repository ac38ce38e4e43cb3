#include "El/ParamFile/paramEntryIndex.h"

#include <cctype>

#include "El/ParamFile/paramEntry.h"

std::uint32_t ParamEntryIndex::Hash(const char* name) {
  std::uint32_t hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    hash = (hash ^ static_cast<std::uint32_t>(std::tolower(*p))) * 16777619u;
  }
  return hash;
}

void ParamEntryIndex::Build(const DynArray<ParamEntry*>& entries) {
  int bucketCount = 1;
  while (bucketCount * entriesPerBucket_ < entries.Size()) bucketCount *= 2;
  Rehash(entries, bucketCount);
}

void ParamEntryIndex::Rehash(const DynArray<ParamEntry*>& entries, int bucketCount) {
  buckets_.Clear();
  buckets_.Resize(bucketCount);
  count_ = 0;
  for (int i = 0; i < entries.Size(); ++i) {
    buckets_[static_cast<int>(Hash(entries[i]->GetName()) % static_cast<std::uint32_t>(bucketCount))].Add(i);
    ++count_;
  }
}

int ParamEntryIndex::Find(const char* name, const DynArray<ParamEntry*>& entries) const {
  if (buckets_.Size() == 0) return -1;
  const DynArray<int>& bucket = buckets_[static_cast<int>(Hash(name) % static_cast<std::uint32_t>(buckets_.Size()))];
  for (int position : bucket) {
    if (position < entries.Size() && ParamNameCompare(entries[position]->GetName(), name) == 0) return position;
  }
  return -1;
}

void ParamEntryIndex::Add(const DynArray<ParamEntry*>& entries, int position) {
  if (buckets_.Size() == 0 || count_ + 1 > entriesPerBucket_ * buckets_.Size()) {
    Rehash(entries, buckets_.Size() == 0 ? 1 : buckets_.Size() * 2);
    return;  // the rehash indexed every member, the new one included
  }
  const std::uint32_t size = static_cast<std::uint32_t>(buckets_.Size());
  buckets_[static_cast<int>(Hash(entries[position]->GetName()) % size)].Add(position);
  ++count_;
}

std::size_t ParamEntryIndex::GetMemoryUsed() const {
  std::size_t used = buckets_.MaxSize() * sizeof(DynArray<int>);
  for (const DynArray<int>& bucket : buckets_) used += bucket.MaxSize() * sizeof(int);
  return used;
}
