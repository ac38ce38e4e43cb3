#pragma once
// The entry of the Windows patch program: checks the rights a patch needs, makes the progress window
// hidden, runs the patch on a worker thread with a large stack while the first thread serves the
// window, shows the result and returns the process exit code.

#include <string>

#include "ui/userInterface.h"
#include "ui/win32/consoleWindow.h"

namespace dialogs {

// Exit codes of the process.
enum PatchExitCode {
  kExitSuccess = 0,    // the patch run returned 0; also a quit message or a failed message loop
  kExitFailure = 1,    // the patch run failed; also when the window object could not be made
  kExitNoThread = 3,   // the worker thread could not be created
  kExitNoRights = 4,   // the user may not write to the Program Files folder or HKEY_LOCAL_MACHINE
  kExitDeclined = 10,  // the user answered No to the start question
};

// The worker's stack: 32 MiB.
constexpr int kWorkerStackSize = 0x2000000;

// What the entry hands the worker; valid until the worker has ended.
struct WorkerStartBlock {
  ModuleHandle instance = nullptr;
  ModuleHandle previousInstance = nullptr;  // always null on Win32
  std::string commandLine;                  // the text after the program name, as the system passed it
  int showCommand = 0;
  ConsoleWindowProgress* window = nullptr;  // null when the common controls could not be loaded
  ui::UserInterface* userInterface = nullptr;  // the window's interface: boxes, questions, progress
};

// The patch run. It talks to the user through block.userInterface, the window's interface (also the
// process's current one while it runs); what it returns becomes the exit code (0, 1 or 10).
using PatchRoutine = int (*)(const WorkerStartBlock& block, void* argument);

// The whole program: rights (message 28 and kExitNoRights on failure), common controls, the window
// created hidden with OK disabled and message 27 in its log, `run` on a worker thread with a 32 MiB
// stack (kExitNoThread when it cannot start), the message loop waking at least once a second, the full
// bar, and, when the run returned 0 or asked to keep the window open, the window shown until the user
// dismisses it. Instance, command line and show command are the running program's own.
// With `waitForOk` cleared (an unattended run) the final window is shown filled but the program ends
// without waiting for the user, and missing rights are told on standard error instead of in a box. With `checkRights` cleared (a run that writes nothing) the rights are
// not required.
int RunPatchProgram(PatchRoutine run, void* argument, bool waitForOk = true, bool checkRights = true);

}  // namespace dialogs
