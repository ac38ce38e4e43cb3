#pragma once
// The options the Windows program accepts before the payload path, for unattended use: "--yes",
// "--distribution TAG", "--on-error abort|ignore" and "--log FILE" (a value with spaces in double
// quotes); "--verify" checks the installation instead of patching it, "--json" writes that check as
// JSON lines on standard output instead of showing the window. A command line that does not begin with "--" is left exactly as the system passed it.

#include <string>

#include "ui/presetAnswers.h"

namespace app {

struct ProgramOptions {
  ui::PresetAnswers answers;
  std::string logPath;
  bool verify = false;
  bool json = false;
};

// Takes the leading options off `commandLine`; *rest receives what follows them (the payload path, as
// the run reads it: the whole remaining text). False, with the reason in *error, for an unknown option
// or one without its value.
bool TakeProgramOptions(const std::string& commandLine, ProgramOptions* options, std::string* rest,
                        std::string* error);

}  // namespace app
