#pragma once
// The user-interface seam. Everything the patch run shows or asks goes through the process-wide
// `UserInterface`: message boxes, the Yes/No start question, Abort/Retry/Ignore, the distribution
// choice, and the operations of the progress window (title, status line, log, progress, keep-open).
//
// Three backends implement it: the Windows dialogs (the product on Windows), a terminal (the Linux
// program) and a scripted one (tests and unattended runs). The run cannot tell them apart. Texts
// arrive finished: message-table look-up, placeholders and format arguments are the caller's work
// (messages.h, progressText.h).
//
// Progress-window operations may be called when there is no window; a backend without one ignores
// them. Questions that cannot be asked (no terminal, no scripted answer) take the safe answer (No,
// Cancel, Abort) and say so.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ui {

enum class BoxIcon { Error, Information, Warning, Question };

// The answers of the Abort/Retry/Ignore question, as numbers the callers compare against.
enum AbortRetryIgnore { kAbort = 0, kRetry = 1, kIgnore = 2 };

// One distribution of the manifest: its tag and the name shown for it (may be empty).
struct KnownDistribution {
  std::string name;
  std::string displayName;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A notice with one OK button. `caption` is the box title.
  virtual void ShowMessage(const char* caption, const char* text, BoxIcon icon) = 0;
  // The start question, Yes and No with the question icon; true for Yes.
  virtual bool AskYesNo(const char* caption, const char* text) = 0;
  // One showing of the Abort/Retry/Ignore question with the warning icon; returns kAbort, kRetry or
  // kIgnore. `retryIsDefault` makes Retry the default button. Repeating the question is the caller's.
  virtual int AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) = 0;
  // The distribution choice: offers `candidates` (shown by the display name of the known pair with the
  // same name, compared without regard to case, else by the candidate itself); returns the chosen
  // candidate, or "" when the user cancels.
  virtual std::string ChooseDistribution(const std::vector<KnownDistribution>& known,
                                         const std::vector<std::string>& candidates) = 0;

  // The progress window.
  virtual void Show(bool show) = 0;
  virtual void EnableOk(bool enable) = 0;
  virtual void SetTitle(const char* text) = 0;
  virtual void SetStatus(const char* text) = 0;  // "" clears the status line
  virtual void AppendLog(const char* text) = 0;  // one line, without its line end
  // The bar: SetTotal sets the amount that makes 100 per cent and starts again from 0; Advance reports
  // more done (see ProgressAmount for the percentage rule).
  virtual void SetTotal(std::uint64_t total) = 0;
  virtual void Advance(std::uint64_t amount) = 0;
  virtual void StopAnimation() = 0;
  // Set when the run leaves a result in the log that the user must read.
  virtual void SetKeepOpen() = 0;
  virtual bool KeepOpen() = 0;
  // True once the user has closed the progress window; a backend without a window never is.
  virtual bool WindowClosed() = 0;
};

// The process-wide backend; never null. The default answers every question with its safe answer and
// sends texts to the diagnostics log.
UserInterface* CurrentUserInterface();
// Replaces the backend (null restores the default) and returns the previous one.
UserInterface* SetUserInterface(UserInterface* userInterface);

// The percentage the bar shows for `done` of `total`: done / total × 100 truncated, held within 3 to
// 100, and 3 while the total is 0. The bar never shows less than 3 per cent once anything was reported.
int ProgressPercent(std::uint64_t done, std::uint64_t total);

// How the distribution choice shows `candidate`: the display name of the known pair with the same name
// (compared without regard to case), else the candidate itself.
std::string DistributionDisplayName(const std::vector<KnownDistribution>& known, const std::string& candidate);

// The longest log text, in characters, that a new line is appended to; older lines go first.
constexpr std::size_t kLogLimit = 30720;
// The progress window's log after appending `line` (which carries its own line end): while the text is
// longer than kLogLimit its first line is removed (everything up to and including the first line
// feed), or all of it when it has no line feed; then the line is appended.
std::string LogWithLine(std::string log, const std::string& line);

}  // namespace ui
