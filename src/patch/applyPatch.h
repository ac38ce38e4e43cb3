#pragma once
// Applying payload to one file of the installation: ".upd" rebuilds the file from the installed one
// and a VCDIFF delta, ".new" copies the payload, ".del" deletes the target, ".equ" and ".ini" do
// nothing. Every failure leaves a readable ErrorText and a line in "patch.log" in the current folder
// and on standard output.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"
#include "patch/patchAction.h"
#include "patch/patchStore.h"

namespace patch {

class ApplyPatch : public IPatchAction {
 public:
  // `uninstallList` receives "F:" + output for every file this action creates (and for delta outputs
  // too when `recordDeltaOutputs` is set). `deltaTool` is the carried delta tool for deltas the linked
  // decoder declines ("" when the patch carries none).
  ApplyPatch(DynArray<RefString>& uninstallList, bool recordDeltaOutputs, std::string deltaTool = std::string())
      : uninstallList_(uninstallList), recordDeltaOutputs_(recordDeltaOutputs), deltaTool_(std::move(deltaTool)) {}

  std::uint32_t Apply(const char* outputPath, const char* payloadPath, const char* targetPath, int flag) override;
  std::uint32_t ApplyByName(const char* outputFolder, const char* payloadFolder, const char* targetFolder,
                            const char* name) override;
  void Finish() override {}
  const char* ErrorText() const override { return errorText_.Data(); }
  // Records the uninstall lines Apply records for this payload, without doing anything else: for an
  // entry that an interrupted run had already carried out.
  void RecordCreatedFiles(const char* outputPath, const char* payloadPath);

  // The payload as the store's entry (the store outliving the action): deltas are then decoded and new
  // files written straight from it, read a piece at a time, and the payload file is written only for a
  // delta that must go to the external tool. Without it Apply reads the payload file.
  void UsePayloadEntry(EntrySource& store, const EntryRange& entry);
  // After a result of 1: the checksum and size of the output, when they were computed as it was
  // written (false when the external tool wrote it).
  bool OutputChecksum(WrittenFile* written) const;

 private:
  std::uint32_t Fail(const char* format, ...);
  bool RunDeltaTool(const char* source, const char* delta, const char* output);
  bool RunExternalDeltaTool(const char* source, const char* delta, const char* output);
  bool CopyPayload(const char* payloadPath, const char* outputPath);

  DynArray<RefString>& uninstallList_;
  bool recordDeltaOutputs_;
  std::string deltaTool_;
  RefString errorText_;
  EntrySource* store_ = nullptr;  // with payload_: the entry to use instead of the payload file
  EntryRange payload_;
  WrittenFile output_;
  bool outputKnown_ = false;
};

// One action per file attempt, destroyed right after it.
IPatchAction* NewApplyPatch(DynArray<RefString>& uninstallList, bool recordDeltaOutputs);

// Appends a failure line to "patch.log" in the current folder (at most 1023 bytes, no line end) and
// echoes it; "Cannot write to log file" is echoed when the log cannot be opened.
void LogActionFailure(const char* text);

// Where the action log's lines are echoed: by default printed with a line feed on standard output.
// A program whose standard output carries another format (JSON lines) takes them itself; null
// restores the default.
using ActionLogEcho = void (*)(const char* line);
void SetActionLogEcho(ActionLogEcho echo);

}  // namespace patch
