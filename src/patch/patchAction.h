#pragma once
// A per-file action: given a payload file, the installed file and an output path, carry out the
// payload's action (rebuild from a delta, replace, delete, nothing) and tell the caller what to do
// next. Applying payload and authoring payload both implement it.

#include <cstdint>

namespace patch {

// What Apply reports to its caller.
enum PatchActionResult : std::uint32_t {
  kActionFailed = 0,     // ErrorText tells why
  kActionWritten = 1,    // the new content is at the output path; the caller moves it into place
  kActionNothing = 2,    // nothing to do for this file
  kActionDeleted = 3,    // the target file has been deleted
};

class IPatchAction {
 public:
  // Slot 0: one file action. All paths are full paths; `flag` is always 1.
  virtual std::uint32_t Apply(const char* outputPath, const char* payloadPath, const char* targetPath, int flag) = 0;
  // Slot 1: the same addressed by folders (each ending with a separator) and a file name.
  virtual std::uint32_t ApplyByName(const char* outputFolder, const char* payloadFolder, const char* targetFolder,
                                    const char* name) = 0;
  // Slot 2: releases the file readers.
  virtual void Finish() = 0;
  // Slot 3: the text of the last failure; "" when there was none.
  virtual const char* ErrorText() const { return ""; }
  // Slot 4.
  virtual ~IPatchAction() = default;
};

}  // namespace patch
