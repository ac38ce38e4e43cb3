#pragma once
// A patch store held in memory: named byte blocks enumerated in upper-case order, as a patch
// executable's resources are. Names are stored as given; look-ups compare with the upper-cased name.

#include <cstdint>
#include <cstring>
#include <vector>
#include <map>
#include <string>

#include "patch/entrySource.h"

// The whole entry named `upperName` of any store, or false when it has none or it cannot be read.
inline bool EntryBytesOf(patch::EntrySource& store, const char* upperName, std::string* bytes) {
  patch::EntryRange entry;
  if (!store.Find(upperName, &entry)) return false;
  bytes->assign(static_cast<std::size_t>(entry.size), '\0');
  std::string error;
  return entry.size == 0 || store.Read(entry, 0, &(*bytes)[0], bytes->size(), &error);
}

class MemoryEntrySource : public patch::EntrySource {
 public:
  void Add(const std::string& name, const std::string& bytes) {
    const auto found = index_.find(name);
    if (found != index_.end()) {
      bytes_[found->second] = bytes;
      return;
    }
    index_[name] = bytes_.size();
    bytes_.push_back(bytes);
  }
  void Remove(const std::string& name) {
    const auto found = index_.find(name);
    if (found == index_.end()) return;
    bytes_[found->second].clear();  // the slot stays, so that other entries keep their places
    index_.erase(found);
  }
  // The bytes of an entry, for tests that change them in place; null when there is none.
  std::string* Bytes(const std::string& name) {
    const auto found = index_.find(name);
    return found == index_.end() ? nullptr : &bytes_[found->second];
  }

  void EnumerateNames(void (*visit)(const char* name, void* context), void* context) override {
    for (const auto& entry : index_) visit(entry.first.c_str(), context);
  }
  // An entry's position is its slot, so that a read takes no look-up (benchmarks hold 100,000).
  bool Find(const char* upperName, patch::EntryRange* entry) override {
    const auto found = index_.find(upperName);
    if (found == index_.end()) return false;
    entry->position = found->second;
    entry->size = bytes_[found->second].size();
    return true;
  }
  bool Read(const patch::EntryRange& entry, std::uint64_t offset, void* buffer, std::size_t size,
            std::string* error) override {
    if (entry.position >= bytes_.size()) {
      *error = "no such entry";
      return false;
    }
    const std::string& bytes = bytes_[static_cast<std::size_t>(entry.position)];
    if (offset > bytes.size() || size > bytes.size() - offset) {
      *error = "a read past the end of the entry";
      return false;
    }
    std::memcpy(buffer, bytes.data() + offset, size);
    return true;
  }

 private:
  std::map<std::string, std::size_t> index_;  // ordered like the platform's upper-case enumeration
  std::vector<std::string> bytes_;
};
