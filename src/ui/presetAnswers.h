#pragma once
// Answers given before the run, for unattended use (an administrator's script, a launcher): the
// start question, the distribution choice and the Abort/Retry/Ignore question.

#include <string>
#include <vector>

namespace ui {

struct PresetAnswers {
  enum class Start { Ask, Yes };
  enum class OnError { Ask, Abort, Ignore };

  Start start = Start::Ask;
  std::string distribution;  // a distribution tag; "" asks
  OnError onError = OnError::Ask;
};

// The candidate the distribution given in advance names (compared without regard to case), or "" when
// none was given or it is not among the candidates.
std::string PresetDistribution(const PresetAnswers& answers, const std::vector<std::string>& candidates);

}  // namespace ui
