#include "app/distributions.h"

#include <cstdint>

#include "El/QStream/crc32.h"
#include "Es/Containers/nameText.h"

namespace app {

std::vector<std::string> DistributionCandidates(const Manifest& manifest) {
  std::vector<std::string> candidates;
  for (const ManifestDistribution& distribution : manifest.distributions) {
    if (distribution.scope > 0) candidates.push_back(distribution.tag);
  }
  return candidates;
}

void ApplyDistributionRules(const Manifest& manifest, const std::string& installFolder,
                            std::vector<std::string>* candidates) {
  if (candidates->empty()) return;
  for (const DistributionRule& rule : manifest.rules) {
    std::uint32_t crc = 0;
    if (!Crc32OfFile((installFolder + rule.file).c_str(), &crc) || crc != rule.crc) continue;
    std::vector<std::string> kept;
    for (const std::string& candidate : *candidates) {
      for (const std::string& listed : rule.distributions) {
        if (EqualIgnoringCase(candidate, listed)) {
          kept.push_back(candidate);
          break;
        }
      }
    }
    candidates->swap(kept);
    if (candidates->empty()) return;
  }
}

std::vector<std::string> ChosenWithAncestors(const Manifest& manifest, const std::string& chosen,
                                             std::string* displayName) {
  std::vector<std::string> list{chosen};
  displayName->clear();
  int row = -1;
  for (std::size_t i = 0; i < manifest.distributions.size() && row < 0; ++i) {
    if (EqualIgnoringCase(manifest.distributions[i].tag, chosen)) row = static_cast<int>(i);
  }
  if (row < 0) return list;
  *displayName = manifest.distributions[static_cast<std::size_t>(row)].displayName;
  // Parents are always declared earlier, so the walk ends.
  for (int parent = manifest.distributions[static_cast<std::size_t>(row)].parent; parent >= 0;
       parent = manifest.distributions[static_cast<std::size_t>(parent)].parent) {
    list.push_back(manifest.distributions[static_cast<std::size_t>(parent)].tag);
  }
  return list;
}

}  // namespace app
