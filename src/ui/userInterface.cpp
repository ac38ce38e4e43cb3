#include "ui/userInterface.h"

#include <cctype>

#include "El/Common/appFrame.h"
#include "Es/Containers/nameText.h"
#include "ui/windowlessInterface.h"

namespace ui {
namespace {

// The backend before any other is chosen: no window, nobody to ask. Texts go to the diagnostics log
// and every question takes its safe answer.
class DiagnosticsInterface : public WindowlessInterface {
 public:
  void ShowMessage(const char*, const char* text, BoxIcon) override { LogF("%s", text); }
  bool AskYesNo(const char*, const char* text) override {
    LogF("No one to ask \"%s\": answered No", text);
    return false;
  }
  int AskAbortRetryIgnore(const char*, const char* text, bool) override {
    LogF("No one to ask \"%s\": answered Abort", text);
    return kAbort;
  }
  std::string ChooseDistribution(const std::vector<KnownDistribution>&, const std::vector<std::string>&) override {
    LogF("No one to choose the distribution: cancelled");
    return std::string();
  }
  void AppendLog(const char* text) override { LogF("%s", text); }
};

UserInterface* DefaultInterface() {
  static DiagnosticsInterface* diagnostics = new DiagnosticsInterface;  // lives as long as the process
  return diagnostics;
}

UserInterface* current = nullptr;

}  // namespace

UserInterface* CurrentUserInterface() { return current ? current : DefaultInterface(); }

UserInterface* SetUserInterface(UserInterface* userInterface) {
  UserInterface* previous = CurrentUserInterface();
  current = userInterface;
  return previous;
}

int ProgressPercent(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 3;
  const double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
  if (percent < 3.0) return 3;
  if (percent > 100.0) return 100;
  return static_cast<int>(percent);
}

std::string DistributionDisplayName(const std::vector<KnownDistribution>& known, const std::string& candidate) {
  for (const KnownDistribution& pair : known) {
    if (EqualIgnoringCase(pair.name, candidate)) return pair.displayName;
  }
  return candidate;
}

std::string LogWithLine(std::string log, const std::string& line) {
  while (log.size() > kLogLimit) {
    const std::size_t lineFeed = log.find('\n');
    if (lineFeed == std::string::npos) {
      log.clear();
    } else {
      log.erase(0, lineFeed + 1);
    }
  }
  return log + line;
}

}  // namespace ui
