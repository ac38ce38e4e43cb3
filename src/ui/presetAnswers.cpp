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

}  // namespace ui
