#pragma once
// A delta encoder for the authoring tests on every build (Windows has no xdelta3): it answers the
// encoding command lines of one program name as if that program ran, writing a real VCDIFF delta
// from the source to the input (the bytes they share at the front copied, the rest added), so that the
// linked decoder can check what a build wrote. It installs itself while it lives; every other command
// line goes to the launcher it replaced.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "makeTestSupport.h"
#include "platform/process.h"
#include "support/stepPatch.h"

class StandInEncoder : public platform::ProcessLauncher {
 public:
  static constexpr const char* kProgram = "stand-in-encoder";

  StandInEncoder() : previous_(platform::SetProcessLauncher(this)) {}
  ~StandInEncoder() override { platform::SetProcessLauncher(previous_); }
  StandInEncoder(const StandInEncoder&) = delete;
  StandInEncoder& operator=(const StandInEncoder&) = delete;

  // Write bytes that are no delta (an encoder that went wrong without saying so).
  bool broken = false;
  // The input file (the new one) of every encoding, in order.
  std::vector<std::string> encoded;

  bool Start(const char* commandLine, const char* workingFolder, platform::StartFlags flags,
             platform::ProcessHandle* process, platform::StartFailure* failure) override {
    const std::string line = commandLine ? commandLine : "";
    if (line.compare(0, std::string(kProgram).size(), kProgram) != 0) {
      return previous_->Start(commandLine, workingFolder, flags, process, failure);
    }
    // The last three quoted names: source, input, output.
    std::vector<std::string> names;
    for (std::size_t at = line.find('"'); at != std::string::npos && names.size() < 16;) {
      const std::size_t end = line.find('"', at + 1);
      if (end == std::string::npos) break;
      names.push_back(line.substr(at + 1, end - at - 1));
      at = line.find('"', end + 1);
    }
    *process = kFailed;
    if (names.size() >= 3) {
      const std::string& output = names[names.size() - 1];
      const std::string& input = names[names.size() - 2];
      const std::string& source = names[names.size() - 3];
      maketest::Write(output, broken ? "not a delta" : steppatch::Delta(maketest::Read(source), maketest::Read(input)));
      std::lock_guard<std::mutex> hold(lock_);
      encoded.push_back(input);
      *process = kSucceeded;
    }
    return true;
  }
  bool Wait(platform::ProcessHandle process) override { return Pretended(process) || previous_->Wait(process); }
  bool ExitCode(platform::ProcessHandle process, std::uint32_t* code) override {
    if (!Pretended(process)) return previous_->ExitCode(process, code);
    *code = process == kSucceeded ? 0 : 2;
    return true;
  }
  void Close(platform::ProcessHandle process) override {
    if (!Pretended(process)) previous_->Close(process);
  }

 private:
  // Odd: never handles of a real launcher (Windows handles are multiples of four, records aligned).
  static constexpr platform::ProcessHandle kSucceeded = 0x7FFFFFF1;
  static constexpr platform::ProcessHandle kFailed = 0x7FFFFFF3;
  static bool Pretended(platform::ProcessHandle process) { return process == kSucceeded || process == kFailed; }

  platform::ProcessLauncher* previous_;
  std::mutex lock_;
};
