// Child processes on Windows: CreateProcessA with the command line as given.
#include "platform/process.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/fileSystem.h"
#include "platform/win32/wideText.h"

namespace platform {
namespace {

HANDLE ToHandle(ProcessHandle process) { return reinterpret_cast<HANDLE>(process); }

class Win32ProcessLauncher : public ProcessLauncher {
 public:
  bool Start(const char* commandLine, const char* workingFolder, StartFlags flags, ProcessHandle* process,
             StartFailure* failure) override {
    *process = kNoProcess;
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring writable = WideText(commandLine);
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    const BOOL inherit = (flags & kInheritHandles) ? TRUE : FALSE;
    const DWORD creation = (flags & kNoConsoleWindow) ? CREATE_NO_WINDOW : 0;
    const std::wstring folder = WideText(workingFolder);
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, inherit, creation, nullptr,
                        folder.empty() ? nullptr : folder.c_str(),
                        &startup, &info)) {
      const int error = static_cast<int>(GetLastError());
      if (failure) {
        char text[512];
        NativeFileSystem()->ErrorText(error, text, sizeof text);
        failure->systemError = error;
        failure->reason = text;
      }
      return false;
    }
    CloseHandle(info.hThread);
    *process = reinterpret_cast<ProcessHandle>(info.hProcess);
    return true;
  }

  bool Wait(ProcessHandle process) override {
    return WaitForSingleObject(ToHandle(process), INFINITE) == WAIT_OBJECT_0;
  }

  bool ExitCode(ProcessHandle process, std::uint32_t* code) override {
    DWORD value = 0;
    if (!GetExitCodeProcess(ToHandle(process), &value)) return false;
    // STILL_ACTIVE is also a code a program may exit with; only a child that has not ended is running.
    if (value == STILL_ACTIVE && WaitForSingleObject(ToHandle(process), 0) == WAIT_TIMEOUT) return false;
    *code = value;
    return true;
  }

  void Close(ProcessHandle process) override {
    if (process != kNoProcess) CloseHandle(ToHandle(process));
  }
};

}  // namespace

ProcessLauncher* NativeProcessLauncher() {
  static Win32ProcessLauncher launcher;
  return &launcher;
}

// A patch only ever runs the delta tool it carries, by its full path.
bool FindInstalledProgram(const char*, std::string*) { return false; }

}  // namespace platform
