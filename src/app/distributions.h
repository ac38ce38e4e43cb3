#pragma once
// Which distribution (language or edition variant) an installation is: the candidates the manifest
// declares, narrowed by files whose checksums identify distributions, then chosen, with the chosen
// one's ancestors after it.

#include <string>
#include <vector>

#include "app/manifest.h"

namespace app {

// The tags of the distributions with a scope above 0, in declaration order.
std::vector<std::string> DistributionCandidates(const Manifest& manifest);

// Applies the recognition rules in order: a rule whose file (below `installFolder`, which ends with a
// separator) can be read and has the rule's checksum keeps only the candidates it lists (ignoring
// case, in the order they had). Unreadable files are skipped; the rules stop once no candidate is left.
void ApplyDistributionRules(const Manifest& manifest, const std::string& installFolder,
                            std::vector<std::string>* candidates);

// The chosen tag followed by its parent, grandparent and so on; `displayName` receives the chosen
// distribution's display name ("" when it has none or is not declared).
std::vector<std::string> ChosenWithAncestors(const Manifest& manifest, const std::string& chosen,
                                             std::string* displayName);

}  // namespace app
