#include "platform/process.h"

namespace platform {

namespace {
ProcessLauncher* current = nullptr;
}

ProcessLauncher* CurrentProcessLauncher() { return current ? current : NativeProcessLauncher(); }

ProcessLauncher* SetProcessLauncher(ProcessLauncher* launcher) {
  ProcessLauncher* previous = CurrentProcessLauncher();
  current = launcher;
  return previous;
}

ProcessRun RunProcess(const char* commandLine, const char* workingFolder, StartFlags flags) {
  ProcessRun run;
  ProcessLauncher* launcher = CurrentProcessLauncher();
  ProcessHandle process = kNoProcess;
  if (!launcher->Start(commandLine, workingFolder, flags, &process, &run.failure)) return run;
  run.started = true;
  run.exitCodeRead = launcher->Wait(process) && launcher->ExitCode(process, &run.exitCode);
  if (!run.exitCodeRead) run.exitCode = 0;
  launcher->Close(process);
  return run;
}

}  // namespace platform
