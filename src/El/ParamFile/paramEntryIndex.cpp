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

void ParamEntryIndex::Build(const DynArray<ParamEntry*>& entries, int expected) {
  const int wanted = expected > entries.Size() ? expected : entries.Size();
  int bucketCount = 1;
  while (bucketCount * entriesPerBucket_ < wanted) bucketCount *= 2;
  next_.Reserve(wanted);
  Rehash(entries, bucketCount);
}

void ParamEntryIndex::Link(int bucket, int position) {
  while (next_.Size() <= position) next_.Add(-1);
  next_[position] = -1;
  if (heads_[bucket] < 0) {
    heads_[bucket] = position;
  } else {
    next_[tails_[bucket]] = position;
  }
  tails_[bucket] = position;
  ++count_;
}

void ParamEntryIndex::Rehash(const DynArray<ParamEntry*>& entries, int bucketCount) {
  heads_.Resize(bucketCount);
  tails_.Resize(bucketCount);
  for (int b = 0; b < bucketCount; ++b) heads_[b] = -1;
  next_.Resize(0);
  count_ = 0;
  for (int i = 0; i < entries.Size(); ++i) {
    Link(static_cast<int>(Hash(entries[i]->GetName()) % static_cast<std::uint32_t>(bucketCount)), i);
  }
}

int ParamEntryIndex::Find(const char* name, const DynArray<ParamEntry*>& entries) const {
  if (heads_.Size() == 0) return -1;
  int position = heads_[static_cast<int>(Hash(name) % static_cast<std::uint32_t>(heads_.Size()))];
  for (; position >= 0; position = next_[position]) {
    if (position < entries.Size() && ParamNameCompare(entries[position]->GetName(), name) == 0) return position;
  }
  return -1;
}

void ParamEntryIndex::Add(const DynArray<ParamEntry*>& entries, int position) {
  if (heads_.Size() == 0 || count_ + 1 > entriesPerBucket_ * heads_.Size()) {
    Rehash(entries, heads_.Size() == 0 ? 1 : heads_.Size() * 2);
    return;  // the rehash indexed every member, the new one included
  }
  const std::uint32_t size = static_cast<std::uint32_t>(heads_.Size());
  Link(static_cast<int>(Hash(entries[position]->GetName()) % size), position);
}

std::size_t ParamEntryIndex::GetMemoryUsed() const {
  return (static_cast<std::size_t>(heads_.MaxSize()) + tails_.MaxSize() + next_.MaxSize()) * sizeof(int);
}
