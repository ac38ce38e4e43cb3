#pragma once
// The user interface for launchers: one JSON object a line on an output stream for every log line,
// box, question (with the answer taken), title, status and progress step, so that a program reading
// the stream can follow and show the run. Questions are never asked: answers given in advance are
// used, any other question takes its safe answer (No, Abort, Cancel), and the line says which.
//
// Lines: {"type":"log","text":...}, {"type":"message","icon":"error","caption":...,"text":...},
// {"type":"question","kind":"start"|"error"|"distribution","text":...,"answer":...},
// {"type":"title","text":...}, {"type":"status","text":...}, {"type":"progress","percent":N},
// and, written by the program at the end, {"type":"result","code":N}.

#include <cstdint>
#include <cstdio>
#include <string>

#include "ui/presetAnswers.h"
#include "ui/windowlessInterface.h"

namespace ui {

// `text` as a JSON string literal, quotes included; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

class JsonLinesInterface : public WindowlessInterface {
 public:
  JsonLinesInterface(const PresetAnswers& answers, std::FILE* output);

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

  // The closing line with the program's exit code.
  void WriteResult(int code);
  // A line of the action log (a file action that failed), as its own kind of object.
  void WriteActionLine(const char* text);

 private:
  void Line(const std::string& fields);
  void Progress();

  PresetAnswers answers_;
  std::FILE* output_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  int shownPercent_ = -1;
};

}  // namespace ui
