#include "platform/debugOutput.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

// Linux has no debugger channel; traces are wanted only on request.
class PosixDebugOutput : public DebugOutput {
 public:
  PosixDebugOutput() : enabled_(std::getenv("ZRPATCH_TRACE") != nullptr) {}
  void Write(const char* text) override {
    if (enabled_) std::fputs(text, stderr);
  }

 private:
  bool enabled_;
};

}  // namespace

// Never destroyed: reports written by other objects' destructors at exit (the string bank's, for one)
// must still find it, whatever the order of destruction.
DebugOutput* DefaultDebugOutput() {
  static PosixDebugOutput* output = new PosixDebugOutput;
  return output;
}

}  // namespace platform
