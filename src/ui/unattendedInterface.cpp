#include "ui/unattendedInterface.h"

#include <cstring>

#include "ui/presetAnswers.h"

namespace ui {

UnattendedInterface::UnattendedInterface(UserInterface* backend, const PresetAnswers& answers, std::FILE* log)
    : backend_(backend), answers_(answers), log_(log) {}

namespace {

// One line an event: line ends inside the text become spaces.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

}  // namespace

void UnattendedInterface::Write(const char* kind, const std::string& text) {
  const bool repeated = std::strcmp(kind, "question") == 0 && text == lastLog_;
  lastLog_ = std::strcmp(kind, "log") == 0 ? text : std::string();
  if (!log_ || repeated) return;
  std::fprintf(log_, "%s: %s\n", kind, OneLine(text).c_str());
  std::fflush(log_);
}

void UnattendedInterface::ShowMessage(const char* caption, const char* text, BoxIcon icon) {
  Write(icon == BoxIcon::Error ? "error" : "message", text);
  // Unattended, a box would wait for somebody to press OK: its text goes to the backend's log instead.
  if (answers_.Unattended()) {
    backend_->AppendLog(OneLine(text).c_str());
  } else {
    backend_->ShowMessage(caption, text, icon);
  }
}

bool UnattendedInterface::AskYesNo(const char* caption, const char* text) {
  Write("question", text);
  const bool yes = answers_.start == PresetAnswers::Start::Yes || backend_->AskYesNo(caption, text);
  Write("answer", yes ? "Yes" : "No");
  return yes;
}

int UnattendedInterface::AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) {
  Write("question", text);
  int answer = kAbort;
  switch (answers_.onError) {
    case PresetAnswers::OnError::Abort: answer = kAbort; break;
    case PresetAnswers::OnError::Ignore: answer = kIgnore; break;
    case PresetAnswers::OnError::Ask:
      if (answers_.Unattended()) {
        backend_->AppendLog(OneLine(text).c_str());
        backend_->AppendLog(kUnattendedAbortText);
      } else {
        answer = backend_->AskAbortRetryIgnore(caption, text, retryIsDefault);
      }
      break;
  }
  Write("answer", answer == kAbort ? "Abort" : answer == kRetry ? "Retry" : "Ignore");
  return answer;
}

std::string UnattendedInterface::ChooseDistribution(const std::vector<KnownDistribution>& known,
                                                    const std::vector<std::string>& candidates) {
  std::string chosen;
  if (!answers_.distribution.empty()) {
    chosen = PresetDistribution(answers_, candidates);
  } else if (answers_.Unattended()) {
    backend_->AppendLog(UnattendedDistributionText(candidates).c_str());
  } else {
    chosen = backend_->ChooseDistribution(known, candidates);
  }
  Write("distribution", chosen.empty() ? "(cancelled)" : chosen);
  return chosen;
}

void UnattendedInterface::SetTitle(const char* text) {
  Write("title", text);
  backend_->SetTitle(text);
}

void UnattendedInterface::AppendLog(const char* text) {
  Write("log", text);
  backend_->AppendLog(text);
}

}  // namespace ui
