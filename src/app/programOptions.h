#pragma once
// The options the Windows program accepts before the payload path, for unattended use: "--yes",
// "--distribution TAG", "--on-error abort|ignore" and "--log FILE" (a value with spaces in double
// quotes). A command line that does not begin with "--" is left exactly as the system passed it.

#include <string>

#include "ui/presetAnswers.h"

namespace app {

struct ProgramOptions {
  ui::PresetAnswers answers;
  std::string logPath;
};

// Takes the leading options off `commandLine`; *rest receives what follows them (the payload path, as
// the run reads it: the whole remaining text). False, with the reason in *error, for an unknown option
// or one without its value.
bool TakeProgramOptions(const std::string& commandLine, ProgramOptions* options, std::string* rest,
                        std::string* error);

}  // namespace app
