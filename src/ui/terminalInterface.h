#pragma once
// The user interface on a terminal (the Linux patch program): log lines and boxes on standard error, a
// progress bar with the status line when standard error is a terminal, questions read from standard
// input when it is one. Answers given in advance are used without asking; a question that cannot be
// asked takes its safe answer (No, Cancel, Abort) and says so.

#include <cstdint>
#include <cstdio>

#include "ui/presetAnswers.h"
#include "ui/windowlessInterface.h"

namespace ui {

// `text` with every control character shown as "\xNN" (C1 ones as "\u00NN"), tabs and line ends
// excepted: texts from a patch never steer the terminal.
std::string PrintableText(const char* text);

class TerminalInterface : public WindowlessInterface {
 public:
  // `input` and `output` default to standard input and standard error; whether they are terminals is
  // told by the caller (tests pass files).
  TerminalInterface(const PresetAnswers& answers, std::FILE* input, std::FILE* output, bool inputIsTerminal,
                    bool outputIsTerminal, int width);
  // Standard input and standard error, as they are.
  explicit TerminalInterface(const PresetAnswers& answers);

  void ShowMessage(const char* caption, const char* text, BoxIcon icon) override;
  bool AskYesNo(const char* caption, const char* text) override;
  int AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) override;
  std::string ChooseDistribution(const std::vector<KnownDistribution>& known,
                                 const std::vector<std::string>& candidates) override;

  void SetTitle(const char* text) override;
  void SetStatus(const char* text) override;
  void AppendLog(const char* text) override;
  void SetTotal(std::uint64_t total) override;
  void Advance(std::uint64_t amount) override;

 private:
  void PrintLines(const char* prefix, const char* text);  // clears the bar first, redraws it after
  void ClearBar();
  void DrawBar();
  // A line read from the input; false at its end or when there is none to ask.
  bool ReadAnswer(const char* prompt, std::string* answer);

  PresetAnswers answers_;
  std::FILE* input_;
  std::FILE* output_;
  bool inputIsTerminal_;
  bool outputIsTerminal_;
  int width_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  int shownPercent_ = -1;
  std::string status_;
  bool barShown_ = false;
  // The log line printed last, until something else is shown: a question that says the same (the
  // verification logs a damaged file, then asks about it) is not printed a second time.
  std::string lastLog_;
};

}  // namespace ui
