#pragma once
// Inside the bank library: the table of a bank's entries by name (qbstream.cpp, bankHeader.cpp).

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "El/QStream/qbstream.h"
#include "Es/Containers/nameText.h"

// Longest entry name the table keys, and longest path of a bank file.
constexpr int kBankMaxPath = 1023;

// Entries hashed by name: h = h * 33 + byte from 0, modulo the bucket count. The bucket count grows
// before an insertion when it is below a sixteenth of the entries expected.
class QFBank::EntryTable {
 public:
  // A name as the table keys it: lowercased, '\\' as the separator, at most kBankMaxPath bytes.
  static std::string Key(const char* name) {
    std::string key;
    for (const char* p = name; *p && key.size() < static_cast<std::size_t>(kBankMaxPath); ++p) {
      key += *p == '/' ? '\\' : LowerAscii(*p);
    }
    return key;
  }

  void Clear() {
    buckets_.clear();
    count_ = 0;
  }

  void Reserve(std::size_t expected) {
    if (buckets_.size() * 16 >= expected) return;
    std::size_t c = buckets_.size() + 1;
    while (c * 32 - 16 < expected) c *= 2;
    std::vector<std::vector<BankEntry>> old;
    old.swap(buckets_);
    buckets_.resize(2 * c - 1);
    for (std::vector<BankEntry>& bucket : old) {
      for (BankEntry& entry : bucket) Insert(std::move(entry));
    }
  }

  void Add(BankEntry&& entry) {
    Reserve(static_cast<std::size_t>(count_) + 1);
    Insert(std::move(entry));
    ++count_;
  }

  BankEntry* Find(const std::string& key) {
    if (buckets_.empty()) return nullptr;
    for (BankEntry& entry : buckets_[Hash(key.c_str()) % buckets_.size()]) {
      if (key == entry.name.Data()) return &entry;
    }
    return nullptr;
  }

  template <class Visit>
  void ForEach(Visit visit) const {
    for (const std::vector<BankEntry>& bucket : buckets_) {
      for (const BankEntry& entry : bucket) visit(entry);
    }
  }

 private:
  static std::uint32_t Hash(const char* name) {
    std::uint32_t h = 0;
    for (const char* p = name; *p; ++p) h = h * 33 + static_cast<unsigned char>(*p);
    return h;
  }

  void Insert(BankEntry&& entry) {
    std::vector<BankEntry>& bucket = buckets_[Hash(entry.name.Data()) % buckets_.size()];
    if (bucket.size() == bucket.capacity()) bucket.reserve(bucket.empty() ? 1 : bucket.size() * 2);
    bucket.push_back(std::move(entry));
  }

  std::vector<std::vector<BankEntry>> buckets_;
  int count_ = 0;
};
