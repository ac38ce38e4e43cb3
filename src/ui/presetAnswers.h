#pragma once
// Answers given before the run, for unattended use (an administrator's script, a launcher): the
// start question, the distribution choice and the Abort/Retry/Ignore question. A run whose start
// question is answered in advance (--yes) is unattended: nobody is there to answer anything else, so
// every other question takes its safe answer (Abort, Cancel) and every box goes to the log.

#include <string>
#include <vector>

namespace ui {

struct PresetAnswers {
  enum class Start { Ask, Yes };
  enum class OnError { Ask, Abort, Ignore };

  Start start = Start::Ask;
  std::string distribution;  // a distribution tag; "" asks
  OnError onError = OnError::Ask;

  bool Unattended() const { return start == Start::Yes; }
};

// The candidate the distribution given in advance names (compared without regard to case), or "" when
// none was given or it is not among the candidates.
std::string PresetDistribution(const PresetAnswers& answers, const std::vector<std::string>& candidates);

// The candidates' tags, separated by commas.
std::string CandidateList(const std::vector<std::string>& candidates);
// What an unattended run says when it must choose among `candidates` and no distribution was given.
std::string UnattendedDistributionText(const std::vector<std::string>& candidates);
// What an unattended run says when it answers the Abort/Retry/Ignore question itself.
constexpr const char* kUnattendedAbortText = "Unattended (--yes): answered Abort (give --on-error to choose).";

}  // namespace ui
