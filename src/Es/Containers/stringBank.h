#pragma once
// RStringBank: a bank of shared strings, so that equal texts share one RefString block. An open hash
// table whose buckets are arrays of RefString; the bucket count is always odd. The hash folds ASCII
// A-Z to a-z (hash = hash * 33 + byte), but texts in a bucket compare exactly, so two texts that differ
// only in case share a bucket and stay distinct entries.

#include <cstdint>

#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"

class RStringBank {
 public:
  // `bucketCount` is used for the first table (made odd); 0 makes a bank that refuses insertions.
  explicit RStringBank(int bucketCount = 127);
  ~RStringBank();  // reports "RStringBank destruct" and strings still held elsewhere
  RStringBank(const RStringBank&) = delete;
  RStringBank& operator=(const RStringBank&) = delete;

  // The stored string equal to `text`, or none.
  RefString Find(const char* text) const;
  // The stored string equal to `text`, added when absent. Empty text gives none.
  RefString Share(const char* text);
  // Releases the caller's reference; when only the bank and the caller hold it, the bank drops it first.
  void ReleaseShared(RefString& text);

  int Count() const { return count_; }
  int BucketCount() const { return buckets_.Size(); }
  // Where a text goes for the current table, or -1 without one.
  int BucketOf(const char* text) const;
  const DynArray<RefString>& Bucket(int index) const { return buckets_[index]; }

  static std::uint32_t Hash(const char* text);

 private:
  void GrowBeforeInsert();
  void Rehash(int bucketCount);
  // Position of `text` (whose Hash is `hash`) in `bucket`, or -1.
  int FindIn(int bucket, const char* text, std::uint32_t hash) const;

  DynArray<DynArray<RefString>> buckets_;
  // Beside each bucket, the Hash of each of its texts: a lookup reads the text blocks only where the
  // hash agrees, instead of comparing with every text of the bucket.
  DynArray<DynArray<std::uint32_t>> hashes_;
  int configuredBuckets_;
  int count_ = 0;
};

// The process-wide bank.
RStringBank& GStringBank();
