#pragma once
// Answers given before the run, for unattended use (an administrator's script, a launcher): the
// start question, the distribution choice and the Abort/Retry/Ignore question.

#include <string>

namespace ui {

struct PresetAnswers {
  enum class Start { Ask, Yes };
  enum class OnError { Ask, Abort, Ignore };

  Start start = Start::Ask;
  std::string distribution;  // a distribution tag; "" asks
  OnError onError = OnError::Ask;
};

}  // namespace ui
