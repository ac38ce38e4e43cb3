// zrpatch.exe: the patch program on Windows. The entry (rights, progress window, worker thread, message
// loop) is the dialogs library's; the worker runs the patch with the key in this program's own slot.
// Options beginning with "--" before the payload path answer its questions in advance and copy its log
// to a file; without them the command line means what it always meant: the file carrying the payload,
// or, when empty, this program itself. "--verify" checks the installation instead, in the window, or
// with "--json" as JSON lines on standard output without a window.

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/patchRun.h"
#include "app/programOptions.h"
#include "patch/trustedKey.h"
#include "ui/win32/patchProgram.h"
#include "ui/win32/resourceCatalogue.h"
#include "platform/win32/wideText.h"
#include "ui/jsonLinesInterface.h"
#include "ui/messages.h"
#include "ui/unattendedInterface.h"

namespace {

// The log file named by --log, opened for appending; the name is UTF-8 like the rest of the command
// line, so it is opened through the wide functions.
std::FILE* OpenLog(const std::string& path) {
  return path.empty() ? nullptr : _wfopen(platform::WideText(path.c_str()).c_str(), L"a");
}

// The run the command line asks for, talking to the user through `backend`.
int RunCommandLine(const std::string& commandLine, ui::UserInterface* backend) {
  app::ProgramOptions programOptions;
  app::PatchRunOptions options;
  std::string error;
  const bool parsed = app::TakeProgramOptions(commandLine, &programOptions, &options.storePath, &error);
  // The options read before a mistake still count: with --yes it goes to the window's log, not a box.
  std::FILE* log = OpenLog(programOptions.logPath);
  if (parsed && !programOptions.logPath.empty() && !log) error = "cannot open the log file " + programOptions.logPath;
  ui::UnattendedInterface unattended(backend, programOptions.answers, log);
  ui::UserInterface* previous = ui::SetUserInterface(&unattended);
  int result = app::kPatchFailed;
  if (error.empty()) {
    options.trustedKey = TrustedKeyBlob();
    options.distribution = programOptions.answers.distribution;
    // A patch of the original format (a 1024-bit key, only the manifest signed) applies as it always did.
    options.unsignedPayload = app::UnsignedPayload::Apply;
    options.verifyOnly = programOptions.verify;
    options.userInterface = &unattended;
    result = app::PatchRun(options);
  } else {
    ui::ShowMessage(unattended, error.c_str(), ui::BoxIcon::Error);
  }
  ui::SetUserInterface(previous);
  if (log) std::fclose(log);
  return result;
}

int RunPatch(const dialogs::WorkerStartBlock& block, void*) {
  return RunCommandLine(block.commandLine, block.userInterface);
}

// --verify --json: the check on this thread, every line and the result on standard output for the
// program that started this one; no window, nothing asked, no rights needed.
int VerifyAsJsonLines(const std::string& commandLine, const app::ProgramOptions& options) {
  dialogs::ResourceCatalogue catalogue(GetModuleHandleA(nullptr));
  ui::MessageCatalogue* previousCatalogue = ui::SetMessageCatalogue(&catalogue);
  ui::JsonLinesInterface json(options.answers, stdout);
  const int result = RunCommandLine(commandLine, &json);
  json.WriteResult(result);
  std::fflush(stdout);
  ui::SetMessageCatalogue(previousCatalogue);
  return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  const std::string line = commandLine ? commandLine : "";
  app::ProgramOptions options;
  std::string rest, error;
  const bool parsed = app::TakeProgramOptions(line, &options, &rest, &error);
  if (parsed && options.json) return VerifyAsJsonLines(line, options);
  // Answered in advance (--yes), the run needs nobody at the end: the final window does not wait for
  // OK. A verification writes nothing and needs no rights.
  const bool unattended = options.answers.Unattended();
  return dialogs::RunPatchProgram(RunPatch, nullptr, !unattended, !(parsed && options.verify));
}
