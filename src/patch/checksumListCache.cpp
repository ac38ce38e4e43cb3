#include "patch/checksumListCache.h"

#include <cstdio>

#include "El/Common/appFrame.h"
#include "Es/Containers/nameText.h"
#include "patch/entryNames.h"
#include "patch/patchStore.h"
#include "pe/nameCase.h"

namespace patch {

ChecksumListCache::List& ChecksumListCache::Get(EntrySource& store, int major, int minor,
                                                const std::vector<std::string>& distributions) {
  std::string key;
  for (const std::string& tag : distributions) key += pe::UpperName(tag) + "\n";
  List& list = lists_[{major * 100 + minor, key}];
  if (!list.name.empty()) return list;
  char name[64];
  std::snprintf(name, sizeof name, "crc\\%d.%02d\\crc.crc", major, minor);
  list.name = name;
  std::string text;
  if (!EntryText(store, name, &text)) return list;
  list.present = true;
  int ignoredLines = 0;
  list.records = ParseChecksumList(text, "", distributions, &ignoredLines);
  if (ignoredLines > 0) {
    ErrorMessage("%s: %d lines longer than %d characters ignored", name, ignoredLines, static_cast<int>(kMaxChecksumLine));
  }
  for (std::size_t i = 0; i < list.records.size(); ++i) list.byName.emplace(pe::UpperName(list.records[i].name), i);
  return list;
}

const std::vector<ChecksumRecord>* ChecksumListCache::Records(EntrySource& store, int major, int minor,
                                                              const std::vector<std::string>& distributions,
                                                              std::string* listName) {
  List& list = Get(store, major, minor, distributions);
  *listName = list.name;
  return list.present ? &list.records : nullptr;
}

const ChecksumRecord* ChecksumListCache::Find(EntrySource& store, int major, int minor,
                                              const std::vector<std::string>& distributions,
                                              const std::string& relativePath, std::string* listName) {
  List& list = Get(store, major, minor, distributions);
  *listName = list.name;
  if (!list.present) return nullptr;
  const auto found = list.byName.find(pe::UpperName(WithoutDistributionSuffix(relativePath)));
  return found == list.byName.end() ? nullptr : &list.records[found->second];
}

}  // namespace patch
