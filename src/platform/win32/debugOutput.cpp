#include "platform/debugOutput.h"

#include <windows.h>

namespace platform {
namespace {

class Win32DebugOutput : public DebugOutput {
 public:
  void Write(const char* text) override { OutputDebugStringA(text); }
};

}  // namespace

// Never destroyed: reports written by other objects' destructors at exit (the string bank's, for one)
// must still find it, whatever the order of destruction.
DebugOutput* DefaultDebugOutput() {
  static Win32DebugOutput* output = new Win32DebugOutput;
  return output;
}

}  // namespace platform
