// The Windows program with a worker that goes through every window operation a patch run uses, for the
// on-screen test: the start question, the window with title, status, log and progress, an
// Abort/Retry/Ignore question, the distribution choice and the final window. Each answer decides the
// outcome as the patch run's would:
//
//   start question No                  -> 10, no window
//   Abort                              -> 1, the window kept open with the error in its log
//   Ignore, distribution Cancel        -> 1, no window
//   Ignore, distribution chosen (OK)   -> 0, the window with a full bar until OK
//
// What the worker saw is appended to the file named by ZR_GUI_PROBE_REPORT, one line per event.
// ZR_GUI_PROBE_NO_RIGHTS makes the rights check fail (message 28, exit code 4).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "ui/win32/patchProgram.h"
#include "ui/messages.h"
#include "ui/progressText.h"

namespace {

void Report(const std::string& line) {
  const char* path = std::getenv("ZR_GUI_PROBE_REPORT");
  if (!path) return;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

int Worker(const dialogs::WorkerStartBlock& block, void*) {
  ui::UserInterface* user = ui::CurrentUserInterface();
  Report("language " + std::to_string(ui::MessageLanguage()));
  Report(std::string("window ") + (block.window ? "yes" : "no"));
  if (!ui::AskStartQuestion()) {
    Report("start no");
    return dialogs::kExitDeclined;
  }
  Report("start yes");
  user->Show(true);
  ui::SetTitle(16, "1.05", "1.08");
  ui::AppendLog(16, "1.05", "1.08");
  ui::AppendLog(11, 1, 5);
  const char* files[] = {"Data\\Maps.pak", "Data\\Sounds.pak", "Data\\Textures.pak", "Bin\\Game.exe"};
  user->SetTotal(400);
  for (const char* file : files) {
    ui::SetStatus(18, file);
    for (int step = 0; step < 4; ++step) {
      user->Advance(25);
      Pause(150);
    }
  }
  ui::AppendLog(20, "Data\\Textures.pak", 0x1a2b3c4du, 0x4d3c2b1au);
  ui::SetStatusText("%s", "Data\\Textures.pak");
  const int answer = ui::AskAbortRetryIgnore(false, 12, "Data\\Textures.pak", 0x1a2b3c4du, 0x4d3c2b1au);
  Report(std::string("question ") + (answer == ui::kAbort ? "abort" : answer == ui::kRetry ? "retry" : "ignore"));
  if (answer == ui::kAbort) {
    ui::AppendLog(9, "Data\\Textures.pak", 3);
    user->StopAnimation();
    user->SetKeepOpen();
    return dialogs::kExitFailure;
  }
  const std::string chosen =
      user->ChooseDistribution({{"en", "English edition"}, {"de", "Deutsche Ausgabe"}}, {"en", "de", "gold"});
  Report("distribution " + (chosen.empty() ? std::string("cancelled") : chosen));
  if (chosen.empty()) return dialogs::kExitFailure;
  ui::AppendLog(24, ("Distribution: " + chosen).c_str());
  ui::SetStatusText("");
  ui::AppendLog(6, "1.08");
  user->StopAnimation();
  Report("done");
  return 0;
}

}  // namespace

int main() {
  const int code = dialogs::RunPatchProgram(Worker, nullptr);
  Report("exit " + std::to_string(code));
  return code;
}
