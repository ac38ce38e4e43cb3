#pragma once
// The authoring actions: from an old and a new version of one file, the payload file of a version step.
//
//   output        content                               written when
//   name.upd      delta from the old file to the new    both exist and differ
//   name.equ      one byte "E"                          both exist and are identical
//   name.new      copy of the new file                  the old one is missing, carryNewFiles set
//   name.ini      one byte "I"                          the old one is missing, carryNewFiles not set
//   name.del      one byte "X"                          the new one is missing, the old one exists
//
// Apply is given the path of the delta output (ending in ".upd"); the other outputs replace that last
// extension. Writing one output removes the others of the same file, so that a file whose action
// changed between two runs never leaves two entries behind. Deltas are made by the delta tool into a
// temporary file renamed into place once the tool succeeded, so an interrupted encoding never leaves a
// half delta behind.
//
// An existing delta is kept only when a DeltaInputRecord proves that it was made from exactly the two
// files given (sizes and SHA-256 digests, see deltaInputs.h); each delta made is added to the record.
// Without a record nothing proves a delta's inputs, and every delta is made again.
//
// All failures are printed (standard output or error, as each message says) and give 0; nothing is
// shown in a window. Files go through the platform's FileSystem, the delta tool through its launcher.

#include <cstdint>
#include <memory>
#include <string>

#include "patch/mappedFileReader.h"
#include "patch/patchAction.h"
#include "platform/fileSystem.h"

namespace make {

class DeltaInputRecord;

// The delta tool's encoding command line: tool, source (old file), input (new file), output.
constexpr const char* kEncodeCommandFormat = "%s -f -I 262144 -W 1048576 -B 268435456 -s \"%s\" \"%s\" \"%s\"";
// The tool as it is found through the system's search for programs: Debian's xdelta3 on Linux, and
// xdelta3.exe on Windows (the system appends ".exe" to a name without extension).
constexpr const char* kDefaultEncoder = "xdelta3";

// 0 when the two files are byte for byte identical, 1 otherwise (also when either cannot be opened,
// printing "Cannot open file %s\n" to standard error, or the buffers cannot be had).
int CompareFiles(const char* newPath, const char* oldPath);

// Runs the delta tool: `output` becomes the delta from `oldPath` to `newPath`. False after printing
// "xdelta3 returned error code: %d\n" or "CreateProcess failed (%d).\n" to standard output.
bool EncodeDelta(const std::string& encoder, const char* oldPath, const char* newPath, const char* output);

// The last extension of the file-name part of `path` replaced by `extension` (".equ"); appended when
// the file name has none.
std::string ReplaceLastExtension(const std::string& path, const char* extension);

class CreatePatch : public patch::IPatchAction {
 public:
  // `distributionSuffix` (".#TAG" or "") follows the action suffix of every output's name. `record`
  // (may be null; shared by the actions of one payload folder) proves and keeps the deltas' inputs.
  CreatePatch(bool carryNewFiles, std::string distributionSuffix = "", std::string encoder = kDefaultEncoder,
              DeltaInputRecord* record = nullptr);
  ~CreatePatch() override { Finish(); }

  // Apply(oldPath, newPath, outputPath, flag): 1 on success, also when the delta is already up to date
  // (the record proves it was made from these two files); 0 on failure. "Diff of %s took %d ms" goes to
  // the diagnostic log.
  std::uint32_t Apply(const char* oldPath, const char* newPath, const char* outputPath, int flag) override;
  // Apply(oldFolder + name, newFolder + name, outputFolder + name + ".upd", 1).
  std::uint32_t ApplyByName(const char* oldFolder, const char* newFolder, const char* outputFolder,
                            const char* name) override;
  void Finish() override;

  // What the last Apply wrote (".upd", ".equ", ...; "" when it was up to date or failed), for reports.
  const char* LastAction() const { return lastAction_; }
  // True when the last Apply found its delta up to date and ran no encoding.
  bool LastWasUpToDate() const { return upToDate_; }

 private:
  bool WriteMarker(const std::string& outputPath, const char* extension, char byte);
  void RemoveOtherOutputs(const std::string& outputPath, const char* kept);
  std::string Output(const std::string& outputPath, const char* extension) const;

  patch::MappedFileReader oldReader_;
  patch::MappedFileReader newReader_;
  platform::FileHandle output_ = platform::kInvalidFile;
  bool carryNewFiles_;
  std::string distributionSuffix_;
  std::string encoder_;
  DeltaInputRecord* record_;
  const char* lastAction_ = "";
  bool upToDate_ = false;
};

class CreateDelete : public patch::IPatchAction {
 public:
  ~CreateDelete() override { Finish(); }
  // Apply(firstPath, secondPath, outputPath, flag): when the second file cannot be opened and mapped,
  // outputPath gets the single byte 0x02. 1, or 0 when the output cannot be written.
  std::uint32_t Apply(const char* firstPath, const char* secondPath, const char* outputPath, int flag) override;
  std::uint32_t ApplyByName(const char* firstFolder, const char* secondFolder, const char* outputFolder,
                            const char* name) override;
  void Finish() override;

 private:
  patch::MappedFileReader firstReader_;
  patch::MappedFileReader secondReader_;
};

std::unique_ptr<CreatePatch> NewCreatePatch(bool carryNewFiles);
std::unique_ptr<CreateDelete> NewCreateDelete();

// For the tools: whether a file exists (and is not a folder).
bool FileExists(const char* path);

}  // namespace make
