#pragma once
// The patch store: the payload entries of a patch executable, collected by group, narrowed to one
// entry per file for the installation's distribution, read in place and written out to files.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "patch/entrySource.h"
#include "patch/patchJob.h"

namespace patch {

// What was written to a file: its checksum (the checksum lists' CRC-32) and size.
struct WrittenFile {
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
};

// Appends to job.names every entry name that begins with job.prefix (compared ignoring case), in the
// store's order, and sets job.applied when it found one. Names that would leave their destination
// folder (see IsContainedRelativePath) are refused with a diagnostics line, never collected. The
// caller empties job.names first.
void CollectEntries(PatchJob& job);

// Rewrites `names` so that each target file keeps at most one entry: the one for the most preferred
// acceptable distribution, else the common entry without a suffix; files that exist only for other
// distributions drop out. `ignoreAction`: the key of a file also leaves out its action suffix
// (versioned groups).
void SelectForDistribution(DynArray<RefString>& names, const std::vector<std::string>& distributions,
                           bool ignoreAction);

// The entry's place, or false without any message when there is none. Names are upper-cased first.
bool FindEntry(EntrySource& store, const char* name, EntryRange* entry);
// Calls `piece` with the entry's bytes in order, a piece of at most 1 MiB at a time, until it returns
// false (then this gives false too, with *error empty). A failed read gives false with its reason.
bool ForEachPiece(EntrySource& store, const EntryRange& entry,
                  const std::function<bool(const std::uint8_t* data, std::size_t size)>& piece, std::string* error);
// The whole entry in memory, for the small ones (lists, the manifest, the payload table); false with
// the reason when it cannot be read or is larger than `limit`.
bool ReadWholeEntry(EntrySource& store, const EntryRange& entry, std::uint64_t limit, std::vector<std::uint8_t>* bytes,
                    std::string* error);
// The entry's size; a missing entry shows the system error box with "resource: %s" and gives 0.
std::size_t EntrySize(EntrySource& store, const char* name, RunInterface* ui = SilentRunInterface());
// A copy of the entry as text; false when the entry is missing or has no bytes.
bool EntryText(EntrySource& store, const char* name, std::string* text);
// Writes the entry to targetPath + ".tmp" (created or truncated), creating the folders on the way:
// the temporary file that the caller checks and moves over the target. False on failure, with the
// temporary file removed (a missing entry shows the system error box with "resource: %s"; a short
// write the "Error in write" box, naming the target). `written` (may be null) receives the checksum and
// size of what was written.
// Boxes go to `ui`.
bool WriteEntry(EntrySource& store, const char* name, const char* targetPath, WrittenFile* written = nullptr,
                RunInterface* ui = SilentRunInterface());

// The temporary file WriteEntry writes for a target.
std::string TemporaryFileOf(const std::string& targetPath);

// Writes the entry over targetPath in one step: to its temporary file (WriteEntry), then renamed over
// the target once complete, so a failed write never leaves a half file and never loses the file
// that was there. False on failure, as WriteEntry.
bool ExtractEntry(EntrySource& store, const char* name, const char* targetPath, WrittenFile* written = nullptr,
                  RunInterface* ui = SilentRunInterface());

// The writing half of WriteEntry, for an entry already found: the folders on the way made, `path`
// created or truncated, the entry copied into it a piece at a time, made durable and closed, and
// removed again on any failure; no box:
// *writeError is the system's error of a write that fell short (0 when the failure was another one:
// the file could not be created or closed, or the entry could not be read, with the reason in
// *readError, which may be null).
bool WriteEntryToFile(EntrySource& store, const EntryRange& entry, const char* path, WrittenFile* written,
                      int* writeError, std::string* readError = nullptr);

// A box titled "Error" with the system's text for the calling thread's last error and `contextLine`,
// joined by "%s %s".
void ShowSystemError(RunInterface& ui, const char* contextLine);

}  // namespace patch
