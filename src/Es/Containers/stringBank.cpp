#include "Es/Containers/stringBank.h"

#include <cstring>

#include "El/Common/appFrame.h"
#include "Es/Containers/nameText.h"

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
  hashes_.Clear();
}

std::uint32_t RStringBank::Hash(const char* text) {
  std::uint32_t hash = 0;
  for (const char* c = text; *c; ++c) hash = hash * 33 + static_cast<unsigned char>(LowerAscii(*c));
  return hash;
}

int RStringBank::BucketOf(const char* text) const {
  if (buckets_.Size() == 0) return -1;
  return static_cast<int>(Hash(text) % static_cast<std::uint32_t>(buckets_.Size()));
}

int RStringBank::FindIn(int bucket, const char* text, std::uint32_t hash) const {
  const DynArray<std::uint32_t>& hashes = hashes_[bucket];
  for (int i = 0; i < hashes.Size(); ++i) {
    if (hashes[i] == hash && std::strcmp(buckets_[bucket][i].Data(), text) == 0) return i;
  }
  return -1;
}

RefString RStringBank::Find(const char* text) const {
  if (!text || !*text || buckets_.Size() == 0) return RefString();
  const std::uint32_t hash = Hash(text);
  const int bucket = static_cast<int>(hash % static_cast<std::uint32_t>(buckets_.Size()));
  const int found = FindIn(bucket, text, hash);
  return found < 0 ? RefString() : buckets_[bucket][found];
}

void RStringBank::Rehash(int bucketCount) {
  DynArray<DynArray<RefString>> old(static_cast<DynArray<DynArray<RefString>>&&>(buckets_));
  DynArray<DynArray<std::uint32_t>> oldHashes(static_cast<DynArray<DynArray<std::uint32_t>>&&>(hashes_));
  buckets_.Resize(bucketCount);
  hashes_.Resize(bucketCount);
  for (int b = 0; b < old.Size(); ++b) {
    for (int i = 0; i < old[b].Size(); ++i) {
      const std::uint32_t hash = oldHashes[b][i];
      const int bucket = static_cast<int>(hash % static_cast<std::uint32_t>(bucketCount));
      buckets_[bucket].Add(static_cast<RefString&&>(old[b][i]));
      hashes_[bucket].Add(hash);
    }
  }
}

void RStringBank::GrowBeforeInsert() {
  if (buckets_.Size() == 0) {
    if (configuredBuckets_ > 0) {
      buckets_.Resize(configuredBuckets_);
      hashes_.Resize(configuredBuckets_);
    }
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
  if (buckets_.Size() == 0) return RefString(text);  // a bank without buckets shares nothing
  const std::uint32_t hash = Hash(text);
  const int bucketIndex = static_cast<int>(hash % static_cast<std::uint32_t>(buckets_.Size()));
  DynArray<RefString>& bucket = buckets_[bucketIndex];
  if (bucket.Size() >= bucket.MaxSize()) {
    // A full bucket grows to the next power of two that holds one more entry.
    int capacity = 1;
    while (capacity < bucket.MaxSize() + 1) capacity *= 2;
    bucket.Realloc(capacity);
  }
  RefString stored(text);
  bucket.Add(stored);
  hashes_[bucketIndex].Add(hash);
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
          hashes_[bucketIndex].Delete(i);
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
