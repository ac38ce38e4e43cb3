#include "patch/applyPatch.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "El/Common/appFrame.h"
#include "El/QStream/crc32.h"
#include "Es/Containers/nameText.h"
#include "patch/entryDeltaInput.h"
#include "patch/entryNames.h"
#include "platform/fileSystem.h"
#include "platform/process.h"
#include "vcdiff/vcdiffDecoder.h"

namespace patch {
namespace {

// The action suffix of a payload file: the last extension of its file-name part, after a distribution
// suffix is cut off.
std::string ActionSuffix(const std::string& payloadPath) {
  std::string name = payloadPath;
  std::size_t extension = ExtensionStart(name);
  if (extension != std::string::npos && name.compare(extension, 2, ".#") == 0) {
    name.erase(extension);
    extension = ExtensionStart(name);
  }
  return extension == std::string::npos ? std::string() : name.substr(extension);
}

}  // namespace


namespace {

void PrintLine(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

ActionLogEcho actionLogEcho = PrintLine;

}  // namespace

void SetActionLogEcho(ActionLogEcho echo) { actionLogEcho = echo ? echo : PrintLine; }

void LogActionFailure(const char* text) {
  char line[1024];
  std::snprintf(line, sizeof line, "%s", text);
  platform::FileSystem* files = platform::CurrentFileSystem();
  const platform::FileHandle log = files->OpenAppend("patch.log");
  if (platform::IsValidFile(log)) {
    std::uint32_t written = 0;
    files->Write(log, line, static_cast<std::uint32_t>(std::strlen(line)), &written);
    files->Close(log);
  } else {
    actionLogEcho("Cannot write to log file");
  }
  actionLogEcho(line);
}

std::uint32_t ApplyPatch::Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  errorText_ = RefString::FormatV(format, args);
  va_end(args);
  LogActionFailure(errorText_.Data());
  return kActionFailed;
}

void ApplyPatch::RecordCreatedFiles(const char* outputPath, const char* payloadPath) {
  const std::string suffix = ActionSuffix(payloadPath);
  if ((EqualIgnoringCase(suffix, ".upd") && recordDeltaOutputs_) || EqualIgnoringCase(suffix, ".new")) {
    uninstallList_.Add(RefString::Format("F:%s", outputPath));
  }
}

void ApplyPatch::UsePayloadEntry(EntrySource& store, const EntryRange& entry) {
  store_ = &store;
  payload_ = entry;
}

bool ApplyPatch::OutputChecksum(WrittenFile* written) const {
  if (outputKnown_) *written = output_;
  return outputKnown_;
}

bool ApplyPatch::CopyPayload(const char* payloadPath, const char* outputPath) {
  if (!store_) return platform::CurrentFileSystem()->CopyFileReplacing(payloadPath, outputPath);
  int writeError = 0;
  std::string readError;
  outputKnown_ = WriteEntryToFile(*store_, payload_, outputPath, &output_, &writeError, &readError);
  if (!readError.empty()) LogF("%s: %s", payloadPath, readError.c_str());
  return outputKnown_;
}

std::uint32_t ApplyPatch::Apply(const char* outputPath, const char* payloadPath, const char* targetPath, int) {
  outputKnown_ = false;
  const std::string suffix = ActionSuffix(payloadPath);
  if (EqualIgnoringCase(suffix, ".upd")) {
    RecordCreatedFiles(outputPath, payloadPath);
    return RunDeltaTool(targetPath, payloadPath, outputPath) ? kActionWritten : kActionFailed;
  }
  if (EqualIgnoringCase(suffix, ".new")) {
    if (!CopyPayload(payloadPath, outputPath)) return Fail("Cannot copy file %s to %s", payloadPath, outputPath);
    RecordCreatedFiles(outputPath, payloadPath);
    return kActionWritten;
  }
  if (EqualIgnoringCase(suffix, ".del")) {
    std::string target = outputPath;
    const std::size_t extension = ExtensionStart(target);
    if (extension != std::string::npos) target.erase(extension);
    if (!platform::CurrentFileSystem()->Delete(target.c_str())) return Fail("Cannot remove file %s", target.c_str());
    return kActionDeleted;
  }
  if (EqualIgnoringCase(suffix, ".ini") || EqualIgnoringCase(suffix, ".equ")) return kActionNothing;
  return Fail("Unknown patch extension: \"%s\"", suffix.c_str());
}

std::uint32_t ApplyPatch::ApplyByName(const char* outputFolder, const char* payloadFolder, const char* targetFolder,
                                      const char* name) {
  std::string file = name;
  const std::size_t extension = ExtensionStart(file);
  if (extension == std::string::npos || !EqualIgnoringCase(file.substr(extension), ".upd")) return kActionNothing;
  const std::string withoutSuffix = file.substr(0, extension);
  return Apply((std::string(outputFolder) + withoutSuffix).c_str(), (std::string(payloadFolder) + file).c_str(),
               (std::string(targetFolder) + withoutSuffix).c_str(), 1);
}

bool ApplyPatch::RunDeltaTool(const char* source, const char* delta, const char* output) {
  // The linked decoder rebuilds the file as the carried tool would, into the same output, from the
  // entry in place when it has it, computing the output's checksum on the way.
  vcdiff::DecodeError error;
  if (store_) {
    Crc32 crc;
    std::uint64_t size = 0;
    struct Sum {
      Crc32* crc;
      std::uint64_t* size;
    } sum{&crc, &size};
    vcdiff::WindowObserver observer;
    observer.onWindow = [](const std::uint8_t* data, std::size_t length, void* context) {
      Sum* running = static_cast<Sum*>(context);
      running->crc->Update(data, length);
      *running->size += length;
    };
    observer.context = &sum;
    EntryDeltaInput input(*store_, payload_);
    if (vcdiff::DecodeToFile(source, &input, output, &observer, &error)) {
      output_.crc = crc.Value();
      output_.size = size;
      outputKnown_ = true;
      return true;
    }
  } else if (vcdiff::DecodeFileInPlace(source, delta, output, &error)) {
    return true;
  }
  LogF("%s: %s", delta, error.text);
  if (error.status != vcdiff::DecodeStatus::Unsupported) {
    Fail("xdelta3 returned error code: %d", 1);
    return false;
  }
  // The external tool reads the delta from a file.
  int writeError = 0;
  std::string readError;
  if (store_ && !WriteEntryToFile(*store_, payload_, delta, nullptr, &writeError, &readError)) {
    if (!readError.empty()) LogF("%s: %s", delta, readError.c_str());
    Fail("Cannot write file %s", delta);
    return false;
  }
  return RunExternalDeltaTool(source, delta, output);
}

bool ApplyPatch::RunExternalDeltaTool(const char* source, const char* delta, const char* output) {
  // The carried tool by its full path, quoted so that a folder with blanks can never make the system
  // try a shorter name first; where it cannot run (no wine on Linux) the machine's own native decoder,
  // never a program found through the search path on Windows.
  std::vector<std::string> tools;
  if (!deltaTool_.empty()) tools.push_back(deltaTool_);
  std::string installed;
  if (platform::FindInstalledProgram("xdelta3", &installed)) tools.push_back(installed);
  platform::ProcessRun run;
  for (const std::string& tool : tools) {
    const std::string commandLine =
        "\"" + tool + "\" -f -d -s \"" + source + "\" \"" + delta + "\" \"" + output + "\"";
    run = platform::RunProcess(commandLine.c_str(), nullptr, platform::kDeltaToolStart);
    if (run.started) break;
  }
  if (!run.started) {
    char failed[600];
    std::snprintf(failed, sizeof failed, "CreateProcess %s failed.", tools.empty() ? "xdelta3" : tools.back().c_str());
    LogActionFailure(failed);
    errorText_ = RefString::Format("%s %s", tools.empty() ? "The patch carries no delta tool for this delta."
                                                           : run.failure.reason.c_str(),
                                   failed);
    return false;
  }
  // An exit code that cannot be read counts as success, as the tool's convention has it.
  if (run.exitCodeRead && run.exitCode != 0) {
    Fail("xdelta3 returned error code: %d", static_cast<int>(run.exitCode));
    return false;
  }
  return true;
}

IPatchAction* NewApplyPatch(DynArray<RefString>& uninstallList, bool recordDeltaOutputs) {
  return new ApplyPatch(uninstallList, recordDeltaOutputs);
}

}  // namespace patch
