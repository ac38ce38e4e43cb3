#pragma once
// Captures what the libraries report while a test runs: installs a debugger-output sink that keeps
// every report, and restores the previous sink when it goes out of scope.

#include <string>
#include <vector>

#include "platform/debugOutput.h"

class CaptureDiagnostics : public platform::DebugOutput {
 public:
  CaptureDiagnostics() : previous_(platform::SetDebugOutput(this)) {}
  ~CaptureDiagnostics() override { platform::SetDebugOutput(previous_); }

  void Write(const char* text) override { lines.emplace_back(text); }

  // True when some report contains `part`.
  bool Contains(const std::string& part) const {
    for (const std::string& line : lines) {
      if (line.find(part) != std::string::npos) return true;
    }
    return false;
  }
  int Count(const std::string& part) const {
    int count = 0;
    for (const std::string& line : lines) count += line.find(part) != std::string::npos;
    return count;
  }

  std::vector<std::string> lines;

 private:
  platform::DebugOutput* previous_;
};
