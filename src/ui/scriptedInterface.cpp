#include "ui/scriptedInterface.h"

namespace ui {

ScriptedInterface::ScriptedInterface() : previous_(SetUserInterface(this)) {}

ScriptedInterface::~ScriptedInterface() { SetUserInterface(previous_); }

std::vector<std::string> ScriptedInterface::Texts(EventKind kind) const {
  std::vector<std::string> texts;
  for (const Event& event : events) {
    if (event.kind == kind) texts.push_back(event.text);
  }
  return texts;
}

void ScriptedInterface::ShowMessage(const char* caption, const char* text, BoxIcon) {
  events.push_back({EventKind::Message, text, caption});
}

bool ScriptedInterface::AskYesNo(const char* caption, const char* text) {
  events.push_back({EventKind::YesNo, text, caption});
  if (yesNoAnswers.empty()) return false;
  const bool answer = yesNoAnswers.front();
  yesNoAnswers.pop_front();
  return answer;
}

int ScriptedInterface::AskAbortRetryIgnore(const char* caption, const char* text, bool) {
  events.push_back({EventKind::AbortRetryIgnore, text, caption});
  if (abortRetryIgnoreAnswers.empty()) return kAbort;
  const int answer = abortRetryIgnoreAnswers.front();
  abortRetryIgnoreAnswers.pop_front();
  return answer;
}

std::string ScriptedInterface::ChooseDistribution(const std::vector<KnownDistribution>&,
                                                  const std::vector<std::string>& candidates) {
  std::string offered;
  for (const std::string& candidate : candidates) offered += (offered.empty() ? "" : ",") + candidate;
  events.push_back({EventKind::Distribution, offered, std::string()});
  if (distributionAnswers.empty()) return std::string();
  const std::string answer = distributionAnswers.front();
  distributionAnswers.pop_front();
  return answer;
}

void ScriptedInterface::Show(bool show) {
  shown = show;
  events.push_back({EventKind::Show, show ? "shown" : "hidden", std::string()});
}

void ScriptedInterface::SetTitle(const char* text) {
  title = text;
  events.push_back({EventKind::Title, text, std::string()});
}

void ScriptedInterface::SetStatus(const char* text) {
  status = text;
  events.push_back({EventKind::Status, text, std::string()});
}

void ScriptedInterface::AppendLog(const char* text) { events.push_back({EventKind::Log, text, std::string()}); }

void ScriptedInterface::SetTotal(std::uint64_t amount) {
  total = amount;
  done = 0;
  percent = 0;
}

void ScriptedInterface::Advance(std::uint64_t amount) {
  done += amount;
  percent = ProgressPercent(done, total);
}

}  // namespace ui
