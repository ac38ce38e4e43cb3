#include "Es/Containers/stringBank.h"

#include <cstring>

#include "El/Common/appFrame.h"

RStringBank::RStringBank(int bucketCount)
    : configuredBuckets_(bucketCount <= 0 ? 0 : (bucketCount | 1)) {}

RStringBank::~RStringBank() {
  LogF("RStringBank destruct");
  // Reports may run code that changes the table; restart the walk whenever the bucket count changes.
  int buckets = buckets_.Size();
  for (int b = 0; b < buckets_.Size(); ++b) {
    if (buckets_.Size() != buckets) {
      buckets = buckets_.Size();
      b = -1;
      continue;
    }
    for (const RefString& text : buckets_[b]) {
      if (text.RefCounter() > 1) ErrorMessage("Error: String %s late release (%d)", text.Data(), text.RefCounter());
    }
  }
  buckets_.Clear();
}

std::uint32_t RStringBank::Hash(const char* text) {
  std::uint32_t hash = 0;
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
    unsigned char folded = (*c >= 'A' && *c <= 'Z') ? static_cast<unsigned char>(*c + ('a' - 'A')) : *c;
    hash = hash * 33 + folded;
  }
  return hash;
}

int RStringBank::BucketOf(const char* text) const {
  if (buckets_.Size() == 0) return -1;
  return static_cast<int>(Hash(text) % static_cast<std::uint32_t>(buckets_.Size()));
}

RefString RStringBank::Find(const char* text) const {
  if (!text || !*text) return RefString();
  int bucket = BucketOf(text);
  if (bucket < 0) return RefString();
  for (const RefString& stored : buckets_[bucket]) {
    if (std::strcmp(stored.Data(), text) == 0) return stored;
  }
  return RefString();
}

void RStringBank::Rehash(int bucketCount) {
  DynArray<DynArray<RefString>> old(static_cast<DynArray<DynArray<RefString>>&&>(buckets_));
  buckets_.Resize(bucketCount);
  for (DynArray<RefString>& bucket : old) {
    for (RefString& text : bucket) buckets_[BucketOf(text.Data())].Add(static_cast<RefString&&>(text));
  }
}

void RStringBank::GrowBeforeInsert() {
  if (buckets_.Size() == 0) {
    if (configuredBuckets_ > 0) buckets_.Resize(configuredBuckets_);
    return;
  }
  const int wanted = count_ + 1;
  if (wanted <= 16 * buckets_.Size()) return;
  int n = buckets_.Size() + 1;
  while (32 * n - 16 < wanted) n *= 2;
  Rehash(2 * n - 1);
}

RefString RStringBank::Share(const char* text) {
  if (!text || !*text) return RefString();
  RefString found = Find(text);
  if (!found.IsEmpty()) return found;
  GrowBeforeInsert();
  int bucketIndex = BucketOf(text);
  if (bucketIndex < 0) return RefString(text);  // a bank without buckets shares nothing
  DynArray<RefString>& bucket = buckets_[bucketIndex];
  if (bucket.Size() >= bucket.MaxSize()) {
    // A full bucket grows to the next power of two that holds one more entry.
    int capacity = 1;
    while (capacity < bucket.MaxSize() + 1) capacity *= 2;
    bucket.Realloc(capacity);
  }
  RefString stored(text);
  bucket.Add(stored);
  ++count_;
  return stored;
}

void RStringBank::ReleaseShared(RefString& text) {
  if (text.RefCounter() == 2) {
    int bucketIndex = BucketOf(text.Data());
    if (bucketIndex >= 0) {
      DynArray<RefString>& bucket = buckets_[bucketIndex];
      for (int i = 0; i < bucket.Size(); ++i) {
        if (bucket[i].Block() == text.Block()) {
          bucket.Delete(i);
          --count_;
          break;
        }
      }
    }
  }
  text.Free();
}

RStringBank& GStringBank() {
  static RStringBank bank;
  return bank;
}
