#include "El/ParamFile/paramEntryIndex.h"

#include "El/ParamFile/paramEntry.h"
#include "Es/Containers/nameText.h"

std::uint32_t ParamEntryIndex::Hash(const char* name) {
  std::uint32_t hash = 2166136261u;
  for (const char* p = name; *p; ++p) hash = (hash ^ static_cast<unsigned char>(LowerAscii(*p))) * 16777619u;
  return hash;
}

void ParamEntryIndex::Build(const DynArray<ParamEntry*>& entries, int expected) {
  const int wanted = expected > entries.Size() ? expected : entries.Size();
  int bucketCount = 1;
  while (bucketCount * entriesPerBucket_ < wanted) bucketCount *= 2;
  slots_.Reserve(wanted);
  Rehash(entries, bucketCount);
}

void ParamEntryIndex::Link(std::uint32_t hash, int position) {
  while (slots_.Size() <= position) slots_.Add(Slot{-1, 0});
  slots_[position] = Slot{-1, hash};
  const int bucket = static_cast<int>(hash % static_cast<std::uint32_t>(heads_.Size()));
  if (heads_[bucket] < 0) {
    heads_[bucket] = position;
  } else {
    slots_[tails_[bucket]].next = position;
  }
  tails_[bucket] = position;
  ++count_;
}

void ParamEntryIndex::Rehash(const DynArray<ParamEntry*>& entries, int bucketCount) {
  heads_.Resize(bucketCount);
  tails_.Resize(bucketCount);
  for (int b = 0; b < bucketCount; ++b) heads_[b] = -1;
  slots_.Resize(0);
  count_ = 0;
  for (int i = 0; i < entries.Size(); ++i) Link(Hash(entries[i]->GetName()), i);
}

int ParamEntryIndex::Find(const char* name, std::uint32_t hash, const DynArray<ParamEntry*>& entries) const {
  if (heads_.Size() == 0) return -1;
  for (int position = heads_[static_cast<int>(hash % static_cast<std::uint32_t>(heads_.Size()))]; position >= 0;
       position = slots_[position].next) {
    if (slots_[position].hash == hash && position < entries.Size() &&
        ParamNameCompare(entries[position]->GetName(), name) == 0) {
      return position;
    }
  }
  return -1;
}

void ParamEntryIndex::Add(const DynArray<ParamEntry*>& entries, int position, std::uint32_t hash) {
  if (heads_.Size() == 0 || count_ + 1 > entriesPerBucket_ * heads_.Size()) {
    Rehash(entries, heads_.Size() == 0 ? 1 : heads_.Size() * 2);
    return;  // the rehash indexed every member, the new one included
  }
  Link(hash, position);
}

std::size_t ParamEntryIndex::GetMemoryUsed() const {
  return (static_cast<std::size_t>(heads_.MaxSize()) + tails_.MaxSize()) * sizeof(int) +
         static_cast<std::size_t>(slots_.MaxSize()) * sizeof(Slot);
}
