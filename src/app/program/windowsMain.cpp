// zrpatch.exe: the patch program on Windows. The entry (rights, progress window, worker thread, message
// loop) is the dialogs library's; the worker runs the patch with the key in this program's own slot.
// Options beginning with "--" before the payload path answer its questions in advance and copy its log
// to a file; without them the command line means what it always meant: the file carrying the payload,
// or, when empty, this program itself.

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/patchRun.h"
#include "app/programOptions.h"
#include "patch/trustedKey.h"
#include "platform/win32/dialogs/patchProgram.h"
#include "ui/messages.h"
#include "ui/unattendedInterface.h"

namespace {

int RunPatch(const dialogs::WorkerStartBlock& block, void*) {
  app::ProgramOptions programOptions;
  app::PatchRunOptions options;
  std::string error;
  if (!app::TakeProgramOptions(block.commandLine, &programOptions, &options.storePath, &error)) {
    ui::ShowMessage(error.c_str(), ui::BoxIcon::Error);
    return app::kPatchFailed;
  }
  options.trustedKey = TrustedKeyBlob();
  options.distribution = programOptions.answers.distribution;
  // A patch of the original format (a 1024-bit key, only the manifest signed) applies as it always did.
  options.unsignedPayload = app::UnsignedPayload::Apply;
  std::FILE* log = programOptions.logPath.empty() ? nullptr : std::fopen(programOptions.logPath.c_str(), "a");
  ui::UnattendedInterface unattended(ui::CurrentUserInterface(), programOptions.answers, log);
  ui::UserInterface* window = ui::SetUserInterface(&unattended);
  const int result = app::PatchRun(options);
  ui::SetUserInterface(window);
  if (log) std::fclose(log);
  return result;
}

}  // namespace

// Answered in advance (--yes), the run needs nobody at the end: the final window does not wait for OK.
bool Unattended(const char* commandLine) {
  app::ProgramOptions options;
  std::string rest, error;
  return app::TakeProgramOptions(commandLine ? commandLine : "", &options, &rest, &error) &&
         options.answers.start == ui::PresetAnswers::Start::Yes;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  return dialogs::RunPatchProgram(RunPatch, nullptr, !Unattended(commandLine));
}
