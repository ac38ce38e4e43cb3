#include "platform/debugOutput.h"

#include <windows.h>

namespace platform {
namespace {

class Win32DebugOutput : public DebugOutput {
 public:
  void Write(const char* text) override { OutputDebugStringA(text); }
};

}  // namespace

DebugOutput* DefaultDebugOutput() {
  static Win32DebugOutput output;
  return &output;
}

}  // namespace platform
