#pragma once
// A process launcher that forwards to the platform's own and, for command lines containing a chosen
// text, either fails to start with a chosen system error or pretends that the child ran and ended with
// a chosen exit code (nothing is run). It installs itself while it lives and restores the previous
// launcher afterwards. Every command line it is asked to start is kept, in order.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/fileSystem.h"
#include "platform/process.h"

class FaultInjectingProcessLauncher : public platform::ProcessLauncher {
 public:
  FaultInjectingProcessLauncher()
      : native_(platform::NativeProcessLauncher()), previous_(platform::SetProcessLauncher(this)) {}
  ~FaultInjectingProcessLauncher() override { platform::SetProcessLauncher(previous_); }
  FaultInjectingProcessLauncher(const FaultInjectingProcessLauncher&) = delete;
  FaultInjectingProcessLauncher& operator=(const FaultInjectingProcessLauncher&) = delete;

  // Command lines containing `match` ("" matches all) do not start; they report `systemError`.
  void FailStart(const std::string& match, int systemError) { rules_.push_back({match, true, systemError, 0}); }
  // Command lines containing `match` "run" and end with `exitCode`; nothing is started.
  void ReportExitCode(const std::string& match, std::uint32_t exitCode) {
    rules_.push_back({match, false, 0, exitCode});
  }
  // Exit codes of pretended children cannot be read (as when the system refuses to tell).
  bool hideExitCodes = false;

  std::vector<std::string> commandLines;  // everything asked for, matched or forwarded
  std::vector<std::string> workingFolders;

  bool Start(const char* commandLine, const char* workingFolder, platform::StartFlags flags,
             platform::ProcessHandle* process, platform::StartFailure* failure) override {
    const std::string line = commandLine ? commandLine : "";
    commandLines.push_back(line);
    workingFolders.push_back(workingFolder ? workingFolder : "");
    for (const Rule& rule : rules_) {
      if (line.find(rule.match) == std::string::npos) continue;
      *process = platform::kNoProcess;
      if (rule.failStart) {
        if (failure) {
          char text[256];
          platform::NativeFileSystem()->ErrorText(rule.systemError, text, sizeof text);
          failure->systemError = rule.systemError;
          failure->reason = text;
        }
        return false;
      }
      pretended_.push_back(std::unique_ptr<std::uint32_t>(new std::uint32_t(rule.exitCode)));
      // The address of the kept code, made odd: never a handle of the native launcher (heap records
      // are aligned, Windows handles are multiples of four).
      *process = reinterpret_cast<platform::ProcessHandle>(pretended_.back().get()) | 1;
      return true;
    }
    return native_->Start(commandLine, workingFolder, flags, process, failure);
  }
  bool Wait(platform::ProcessHandle process) override {
    return Pretended(process) ? true : native_->Wait(process);
  }
  bool ExitCode(platform::ProcessHandle process, std::uint32_t* code) override {
    if (const std::uint32_t* pretended = Pretended(process)) {
      if (hideExitCodes) return false;
      *code = *pretended;
      return true;
    }
    return native_->ExitCode(process, code);
  }
  void Close(platform::ProcessHandle process) override {
    if (!Pretended(process)) native_->Close(process);
  }

 private:
  struct Rule {
    std::string match;
    bool failStart;
    int systemError;
    std::uint32_t exitCode;
  };

  const std::uint32_t* Pretended(platform::ProcessHandle process) const {
    if ((process & 1) == 0) return nullptr;
    for (const auto& code : pretended_) {
      if ((reinterpret_cast<platform::ProcessHandle>(code.get()) | 1) == process) return code.get();
    }
    return nullptr;
  }

  platform::ProcessLauncher* native_;
  platform::ProcessLauncher* previous_;
  std::vector<Rule> rules_;
  std::vector<std::unique_ptr<std::uint32_t>> pretended_;
};
