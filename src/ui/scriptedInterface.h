#pragma once
// A user interface that answers from a script and records everything shown, for tests: every box,
// question, title, status and log line becomes an event, and the progress window's bar and keep-open
// flag are kept as a window would keep them. A question with no scripted answer left takes its safe
// answer (No, Abort, Cancel), recorded as such.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "ui/userInterface.h"

namespace ui {

class ScriptedInterface : public UserInterface {
 public:
  enum class EventKind { Message, YesNo, AbortRetryIgnore, Distribution, Title, Status, Log, Show };
  struct Event {
    EventKind kind;
    std::string text;  // the text shown; for Distribution the offered names joined by ","
    std::string caption;
  };

  // Installs itself while it lives, and restores the previous backend afterwards.
  ScriptedInterface();
  ~ScriptedInterface() override;
  ScriptedInterface(const ScriptedInterface&) = delete;
  ScriptedInterface& operator=(const ScriptedInterface&) = delete;

  // The script: answers are taken from the front.
  std::deque<bool> yesNoAnswers;
  std::deque<int> abortRetryIgnoreAnswers;
  std::deque<std::string> distributionAnswers;  // a candidate, or "" to cancel
  bool closedByUser = false;                    // what WindowClosed reports

  // What happened.
  std::vector<Event> events;
  std::uint64_t total = 0;
  std::uint64_t done = 0;
  int percent = 0;  // the bar as a window shows it
  bool shown = false;
  bool okEnabled = true;
  bool animationStopped = false;
  bool keepOpen = false;
  std::string title;
  std::string status;

  // The texts of the events of one kind, in order.
  std::vector<std::string> Texts(EventKind kind) const;

  void ShowMessage(const char* caption, const char* text, BoxIcon icon) override;
  bool AskYesNo(const char* caption, const char* text) override;
  int AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) override;
  std::string ChooseDistribution(const std::vector<KnownDistribution>& known,
                                 const std::vector<std::string>& candidates) override;
  void Show(bool show) override;
  void EnableOk(bool enable) override { okEnabled = enable; }
  void SetTitle(const char* text) override;
  void SetStatus(const char* text) override;
  void AppendLog(const char* text) override;
  void SetTotal(std::uint64_t amount) override;
  void Advance(std::uint64_t amount) override;
  void StopAnimation() override { animationStopped = true; }
  void SetKeepOpen() override { keepOpen = true; }
  bool KeepOpen() override { return keepOpen; }
  bool WindowClosed() override { return closedByUser; }

 private:
  UserInterface* previous_;
};

}  // namespace ui
