#pragma once
// Unattended answers and a log file in front of any backend: questions answered in advance are not
// shown (the answer goes to the log file), every other call goes to the backend; log lines, boxes,
// questions and the title are also written to the log file, one line each, when one is open. Used by
// the Windows program for its options beyond the specified command line, and by the Linux program for
// --log.

#include <cstdint>
#include <cstdio>
#include <string>

#include "ui/presetAnswers.h"
#include "ui/userInterface.h"

namespace ui {

class UnattendedInterface : public UserInterface {
 public:
  // `backend` is used for everything not answered in advance; `log` may be null.
  UnattendedInterface(UserInterface* backend, const PresetAnswers& answers, std::FILE* log);

  void ShowMessage(const char* caption, const char* text, BoxIcon icon) override;
  bool AskYesNo(const char* caption, const char* text) override;
  int AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) override;
  std::string ChooseDistribution(const std::vector<KnownDistribution>& known,
                                 const std::vector<std::string>& candidates) override;
  void Show(bool show) override { backend_->Show(show); }
  void EnableOk(bool enable) override { backend_->EnableOk(enable); }
  void SetTitle(const char* text) override;
  void SetStatus(const char* text) override { backend_->SetStatus(text); }
  void AppendLog(const char* text) override;
  void SetTotal(std::uint64_t total) override { backend_->SetTotal(total); }
  void Advance(std::uint64_t amount) override { backend_->Advance(amount); }
  void StopAnimation() override { backend_->StopAnimation(); }
  void SetKeepOpen() override { backend_->SetKeepOpen(); }
  bool KeepOpen() override { return backend_->KeepOpen(); }
  bool WindowClosed() override { return backend_->WindowClosed(); }

 private:
  void Write(const char* kind, const std::string& text);

  UserInterface* backend_;
  PresetAnswers answers_;
  std::FILE* log_;
  // The text of the last event written when it was a log line: a question that repeats it (the
  // verification logs a damaged file, then asks about it) gets only its answer written.
  std::string lastLog_;
};

}  // namespace ui
