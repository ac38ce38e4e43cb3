#include "ui/presetAnswers.h"

#include "Es/Containers/nameText.h"

namespace ui {

std::string PresetDistribution(const PresetAnswers& answers, const std::vector<std::string>& candidates) {
  if (answers.distribution.empty()) return std::string();
  for (const std::string& candidate : candidates) {
    if (EqualIgnoringCase(candidate, answers.distribution)) return candidate;
  }
  return std::string();
}

std::string CandidateList(const std::vector<std::string>& candidates) {
  std::string list;
  for (const std::string& candidate : candidates) list += (list.empty() ? "" : ", ") + candidate;
  return list;
}

std::string UnattendedDistributionText(const std::vector<std::string>& candidates) {
  return "The distribution of this installation was not recognised, and unattended (--yes) nobody can choose it: "
         "give --distribution with one of " + CandidateList(candidates) + ".";
}

}  // namespace ui
