// The shared string bank reports at process exit through the debugger output; make sure that output
// object is built first so that it is destroyed after the bank.

#include "platform/debugOutput.h"

namespace {
const bool debugOutputFirst = platform::CurrentDebugOutput() != nullptr;
}  // namespace
