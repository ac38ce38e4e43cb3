#pragma once
// Where the diagnostics of the libraries finally go.
//
// The default sink is the platform's debugger channel: OutputDebugStringA on Windows; on Linux nothing,
// unless the environment variable ZRPATCH_TRACE is set, in which case lines go to standard error.
// Tests replace the sink to capture what the libraries report.

namespace platform {

class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  // `text` is a complete, NUL-terminated report (usually ending in "\n").
  virtual void Write(const char* text) = 0;
};

// The process-wide sink; never null. Set to the platform default before any code runs.
DebugOutput* CurrentDebugOutput();
// Replaces the sink (null restores the default) and returns the previous one.
DebugOutput* SetDebugOutput(DebugOutput* output);

}  // namespace platform
