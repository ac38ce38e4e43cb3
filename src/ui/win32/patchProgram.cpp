#include "ui/win32/patchProgram.h"

#include <windows.h>
#include <commctrl.h>

// The system's headers name their ANSI and wide functions through macros; the message table's own
// GetMessage and FormatMessage are meant here.
#undef GetMessage
#undef FormatMessage

#include <cstdio>
#include <memory>
#include <new>

#include "platform/installRights.h"
#include "platform/thread.h"
#include "ui/win32/dialogInterface.h"
#include "ui/win32/resourceCatalogue.h"
#include "platform/win32/wideText.h"
#include "ui/messages.h"

namespace dialogs {
namespace {

// Everything the two threads share. Made on the heap: should the message loop end the program while
// the worker still runs, the worker keeps using it until the process ends.
struct ProgramState {
  explicit ProgramState(HINSTANCE module) : catalogue(module), entryInterface(module, nullptr) {}

  ResourceCatalogue catalogue;
  DialogInterface entryInterface;                    // the boxes of the first thread, before the window
  std::unique_ptr<DialogInterface> workerInterface;  // the worker's, holding its reference to the window
  WorkerStartBlock block;
  PatchRoutine run = nullptr;
  void* argument = nullptr;
};

// The text after the program name, as the runtime finds it: past a quoted or unquoted first word and
// the blanks after it. Read wide and kept in UTF-8, so that a path in any script arrives whole.
std::string CommandLineArguments() {
  const wchar_t* wide = GetCommandLineW();
  if (!wide) return std::string();
  const std::string line = platform::Utf8Text(wide);
  const char* p = line.c_str();
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) {
    }
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

int ShowCommand() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

// The worker: the patch run with the window's interface current.
std::uint32_t PatchWorker(void* argument) {
  ProgramState* state = static_cast<ProgramState*>(argument);
  ui::SetUserInterface(state->workerInterface.get());
  return static_cast<std::uint32_t>(state->run(state->block, state->argument));
}

// The common controls, loaded at run time: a system without them runs the patch without a window.
class CommonControls {
 public:
  CommonControls() : library_(LoadLibraryA("comctl32.dll")) {
    if (!library_) return;
    using Initialise = void(WINAPI*)();
    Initialise initialise = reinterpret_cast<Initialise>(
        reinterpret_cast<void*>(GetProcAddress(library_, "InitCommonControls")));
    if (!initialise) return;
    initialise();
    // The older entry registers the classes the system chose for it; ask for the two the window uses.
    using InitialiseEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    InitialiseEx initialiseEx = reinterpret_cast<InitialiseEx>(
        reinterpret_cast<void*>(GetProcAddress(library_, "InitCommonControlsEx")));
    if (initialiseEx) {
      const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
      initialiseEx(&classes);
    }
    ready_ = true;
  }
  ~CommonControls() {
    if (library_) FreeLibrary(library_);
  }
  CommonControls(const CommonControls&) = delete;
  CommonControls& operator=(const CommonControls&) = delete;

  bool Ready() const { return ready_; }
  // Keeps the library for the rest of the process (the worker may still draw with it).
  void Keep() { library_ = nullptr; }

 private:
  HMODULE library_;
  bool ready_ = false;
};

enum class PumpEnd { ThreadEnded, Quit };

// Serves the thread's messages until the worker has ended, waking at least once a second.
PumpEnd PumpUntilEnded(HANDLE thread, ConsoleWindow* window) {
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, 1000, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) return PumpEnd::ThreadEnded;
    MSG message;
    for (;;) {
      const BOOL got = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
      if (got == 0) break;
      if (got == -1 || message.message == WM_QUIT) return PumpEnd::Quit;
      DispatchThreadMessage(window, &message);
    }
  }
}

}  // namespace

int RunPatchProgram(PatchRoutine run, void* argument, bool waitForOk, bool checkRights) {
  const HINSTANCE module = GetModuleHandleA(nullptr);
  ProgramState* state = new ProgramState(module);
  ui::MessageCatalogue* previousCatalogue = ui::SetMessageCatalogue(&state->catalogue);
  ui::UserInterface* previousInterface = ui::SetUserInterface(&state->entryInterface);
  auto finish = [&](int code) {
    ui::SetUserInterface(previousInterface);
    ui::SetMessageCatalogue(previousCatalogue);
    delete state;
    return code;
  };

  if (checkRights && !platform::CheckInstallRights()) {
    char text[2048];
    ui::GetMessage(28, text, sizeof text);
    if (waitForOk) {
      ui::ShowMessage(text, ui::BoxIcon::Error);
    } else {
      // Unattended there is nobody to press OK, and no window yet: the program that started this one
      // reads the reason on standard error.
      std::fprintf(stderr, "%s\n", text);
    }
    return finish(kExitNoRights);
  }

  CommonControls controls;
  Ref<ConsoleWindowProgress> window;
  if (controls.Ready()) {
    window = new (std::nothrow) ConsoleWindowProgress;
    if (!window) return finish(kExitFailure);
    if (window->Create(module, false)) {
      window->EnableOk(false);
      window->AppendLog(ui::FormatMessage(27, 1024, 4096).c_str());
    } else {
      window.Free();  // no dialog: the run goes on without a window
    }
  }

  state->block.instance = module;
  state->block.commandLine = CommandLineArguments();
  state->block.showCommand = ShowCommand();
  state->block.window = window.GetRef();
  state->run = run;
  state->argument = argument;
  state->workerInterface.reset(new DialogInterface(module, window.GetRef()));
  state->block.userInterface = state->workerInterface.get();

  platform::ThreadSystem* threads = platform::CurrentThreadSystem();
  const platform::ThreadHandle worker = threads->Start(kWorkerStackSize, PatchWorker, state);
  int code = kExitNoThread;
  if (worker != platform::kNoThread) {
    if (PumpUntilEnded(reinterpret_cast<HANDLE>(worker), window.GetRef()) == PumpEnd::Quit) {
      // The worker goes on until the process ends and keeps what it uses: the shared state with its
      // interface and its window reference, which is never dropped (so the count, a plain integer, is
      // not changed by two threads at once and the window outlives the entry), and the common controls.
      controls.Keep();
      threads->Close(worker);
      return kExitSuccess;
    }
    std::uint32_t exitCode = 0;
    code = threads->ExitCode(worker, &exitCode) ? static_cast<int>(exitCode) : 0;
    threads->Close(worker);
    if (window) {
      window->SetTotal(100);
      window->Advance(100);
      if ((code == 0 || window->KeepOpen()) && waitForOk) {
        window->Show(true);
        window->WaitForClose(true);
      }
    }
  }
  return finish(code);
}

}  // namespace dialogs
