#pragma once
// A patch store held in memory: named byte blocks enumerated in upper-case order, as a patch
// executable's resources are. Names are stored as given; look-ups compare with the upper-cased name.

#include <cstdint>
#include <map>
#include <string>

#include "patch/entrySource.h"

class MemoryEntrySource : public patch::EntrySource {
 public:
  void Add(const std::string& name, const std::string& bytes) { entries_[name] = bytes; }
  void Remove(const std::string& name) { entries_.erase(name); }
  // The bytes of an entry, for tests that change them in place; null when there is none.
  std::string* Bytes(const std::string& name) {
    const auto found = entries_.find(name);
    return found == entries_.end() ? nullptr : &found->second;
  }

  void EnumerateNames(void (*visit)(const char* name, void* context), void* context) override {
    for (const auto& entry : entries_) visit(entry.first.c_str(), context);
  }
  bool Find(const char* upperName, const std::uint8_t** data, std::size_t* size) override {
    const auto found = entries_.find(upperName);
    if (found == entries_.end()) return false;
    *data = reinterpret_cast<const std::uint8_t*>(found->second.data());
    *size = found->second.size();
    return true;
  }

 private:
  std::map<std::string, std::string> entries_;  // ordered like the platform's upper-case enumeration
};
