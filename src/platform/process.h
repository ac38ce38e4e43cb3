#pragma once
// Child processes: the manifest's commands and the external delta tool run through the process-wide
// `ProcessLauncher`. Tests replace it (SetProcessLauncher) to make a start fail or a child report a
// chosen exit code without running anything.
//
// A command line is given whole, in Windows form: the program name first, then its arguments, quoted
// the way Windows programs expect. On Windows it goes to CreateProcessA unchanged. On Linux it is split
// by the Windows rules (commandLine.h); a Windows program (a name ending in .exe, .com, .bat or .cmd, a
// name with a drive letter or a backslash, or a bare name that is not on the PATH) runs through `wine`
// found on the PATH (`wine64` where only that one is) in the selected prefix, or through the prefix's
// own Wine build when its launcher has one (SelectPrefixWine, machine.h; a prefix whose Wine cannot run
// makes every Windows program a failed start), and keeps its Windows paths for wine to map; anything
// else is started directly. An unquoted program path with blanks is
// resolved as Windows does, by the shortest run of words that names an existing file. Every child on
// Linux sees the selected prefix as $WINEPREFIX; $WINEDEBUG is left as the user set it.

#include <cstdint>  // std::intptr_t, std::uint32_t
#include <string>   // the reason of a failed start

namespace platform {

// A started child, opaque; kNoProcess is never a started one.
using ProcessHandle = std::intptr_t;
constexpr ProcessHandle kNoProcess = 0;

// How a child is started; combine with |.
using StartFlags = unsigned;
// Nothing inherited, a console program gets a console window as usual (the publisher's delta encoding).
constexpr StartFlags kStartPlain = 0;
// The child inherits the handles the parent made inheritable. Linux: every descriptor the program
// opens is close-on-exec and the standard streams are always passed on, so this changes nothing.
constexpr StartFlags kInheritHandles = 1u << 0;
// A console program gets no console window of its own. Linux: there are no such windows; no effect.
constexpr StartFlags kNoConsoleWindow = 1u << 1;

// The manifest's commands: handles inherited, no other flag.
constexpr StartFlags kManifestCommandStart = kInheritHandles;
// The delta tool rebuilding a file: no window of its own, nothing inherited.
constexpr StartFlags kDeltaToolStart = kNoConsoleWindow;

// Why a child could not be started.
struct StartFailure {
  int systemError = 0;  // the system's error number (Windows: GetLastError, Linux: errno)
  std::string reason;   // the system's text for it, or a more precise reason where there is one
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;

  // Starts `commandLine` in `workingFolder` (a name in the program's own form; null or "" keeps the
  // parent's current folder), with the parent's environment. On success *process is the child, to be
  // closed with Close. On failure returns false with *failure filled (when not null); a program that
  // exists but cannot be executed is a failure to start too, never a child that ran and failed.
  virtual bool Start(const char* commandLine, const char* workingFolder, StartFlags flags,
                     ProcessHandle* process, StartFailure* failure) = 0;
  // Waits without time limit until the child has ended. False when it cannot be waited for.
  virtual bool Wait(ProcessHandle process) = 0;
  // The exit code of an ended child. False when it cannot be read, also while the child still runs.
  // Linux: a child ended by signal N reports 128 + N.
  virtual bool ExitCode(ProcessHandle process, std::uint32_t* code) = 0;
  // Releases the handle. A child that still runs goes on running.
  virtual void Close(ProcessHandle process) = 0;
};

// The process-wide launcher; never null.
ProcessLauncher* CurrentProcessLauncher();
// Replaces it (null restores the platform's own) and returns the previous one.
ProcessLauncher* SetProcessLauncher(ProcessLauncher* launcher);
// The platform's own implementation, for wrappers that inject faults and forward the rest.
ProcessLauncher* NativeProcessLauncher();

// What RunProcess saw.
struct ProcessRun {
  bool started = false;
  bool exitCodeRead = false;  // false: the child ran, but its exit code could not be read
  std::uint32_t exitCode = 0;
  StartFailure failure;       // why it did not start, when !started
};

// A native program installed on this machine, by name: Linux looks for it in the folders of $PATH
// that are absolute paths (the delta decoder Debian packages, where the carried Windows tool cannot
// run). Windows answers false, so that no program is ever taken from the search path.
bool FindInstalledProgram(const char* name, std::string* path);

// Starts a child through the current launcher, waits for it without time limit, reads its exit code
// and closes it: what every caller of the patch program does with a child.
ProcessRun RunProcess(const char* commandLine, const char* workingFolder, StartFlags flags);

}  // namespace platform
