#include "patch/entryNames.h"
#include "patch/patchStore.h"
#include "pe/nameCase.h"

#include <unordered_map>

namespace patch {
namespace {

// Position of the entry's tag in the acceptable list; D without a suffix; D + 1 for a tag not listed.
int Rank(const std::string& name, const std::vector<std::string>& distributions) {
  const int count = static_cast<int>(distributions.size());
  if (!HasDistributionSuffix(name)) return count;
  const std::string tag = DistributionTag(name);
  for (int i = 0; i < count; ++i) {
    if (EqualIgnoringCase(distributions[static_cast<std::size_t>(i)], tag)) return i;
  }
  return count + 1;
}

// The name without its distribution suffix and, when the action is ignored, without the action suffix.
std::string Key(const std::string& name, bool ignoreAction) {
  std::string key = WithoutDistributionSuffix(name);
  if (ignoreAction) {
    const std::size_t extension = ExtensionStart(key);
    if (extension != std::string::npos) key.erase(extension);
  }
  return pe::UpperName(key);
}

}  // namespace

void SelectForDistribution(DynArray<RefString>& names, const std::vector<std::string>& distributions,
                           bool ignoreAction) {
  // Entries group by file, in the order each file first appears. A group's best entry is the first one
  // of the lowest rank; with the action ignored its action suffix is the one kept.
  struct Group {
    std::string base;  // the first entry's name without its distribution suffix, or the best's
    int rank;
  };
  std::vector<Group> groups;
  std::unordered_map<std::string, std::size_t> groupOfKey;
  for (int i = 0; i < names.Size(); ++i) {
    const std::string name = names[i].Data();
    const int rank = Rank(name, distributions);
    const auto found = groupOfKey.emplace(Key(name, ignoreAction), groups.size());
    if (found.second) {
      groups.push_back({WithoutDistributionSuffix(name), rank});
    } else if (rank < groups[found.first->second].rank) {
      Group& group = groups[found.first->second];
      group.rank = rank;
      if (ignoreAction) group.base = WithoutDistributionSuffix(name);
    }
  }
  // A group's entry is the base with the tag as the acceptable list spells it, the common entry, or
  // nothing when only other distributions have the file.
  const int count = static_cast<int>(distributions.size());
  names.Clear();
  for (const Group& group : groups) {
    if (group.rank < count) {
      names.Add(RefString(pe::UpperName(group.base + ".#" + distributions[static_cast<std::size_t>(group.rank)]).c_str()));
    } else if (group.rank == count) {
      names.Add(RefString(group.base.c_str()));
    }
  }
}

}  // namespace patch
