#pragma once
// The checksum lists of one run, each parsed once for the installation's distributions and indexed by
// file, so that verifying one written file is a look-up rather than a pass over the whole list: a run
// over N files costs N, not N times the list's length.

#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "patch/checksumList.h"

namespace patch {

class EntrySource;

class ChecksumListCache {
 public:
  // The records of the version's list narrowed to `distributions` (as ParseChecksumList gives them
  // without a filter), or null when the store has no list of that version. `listName` receives the
  // entry's name for messages.
  const std::vector<ChecksumRecord>* Records(EntrySource& store, int major, int minor,
                                             const std::vector<std::string>& distributions, std::string* listName);
  // The record of one file of that list (a relative path, compared as ParseChecksumList's filter is);
  // null when the list has none, or there is no list.
  const ChecksumRecord* Find(EntrySource& store, int major, int minor, const std::vector<std::string>& distributions,
                             const std::string& relativePath, std::string* listName);

 private:
  struct List {
    bool present = false;
    std::string name;
    std::vector<ChecksumRecord> records;
    std::unordered_map<std::string, std::size_t> byName;  // upper-cased name -> record
  };
  List& Get(EntrySource& store, int major, int minor, const std::vector<std::string>& distributions);

  std::map<std::pair<int, std::string>, List> lists_;  // (version, distributions) -> list
};

}  // namespace patch
