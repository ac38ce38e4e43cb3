#include "platform/debugOutput.h"

namespace platform {

DebugOutput* DefaultDebugOutput();  // defined by the platform's own file

namespace {
DebugOutput* current = nullptr;
}

DebugOutput* CurrentDebugOutput() { return current ? current : DefaultDebugOutput(); }

DebugOutput* SetDebugOutput(DebugOutput* output) {
  DebugOutput* previous = CurrentDebugOutput();
  current = output;
  return previous;
}

}  // namespace platform
