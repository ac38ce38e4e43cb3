#pragma once
// Applying a version step to the installation file by file, and copying groups of whole files; the
// free-space test before the steps; the folders on the way to a created file.
//
// Every file is replaced by one rename of its complete new version over the old one, never by a
// delete followed by a rename, so an interruption leaves each file in its old or its new version.
// With a journal in the job, each entry is recorded as begun before anything changes and as done after,
// so that running the same patch again completes an interrupted run (stepJournal.h).

#include <cstdint>
#include <string>
#include <vector>

#include "patch/patchJob.h"

namespace patch {

// Adds the step's expected amount of work to `total` and checks that the drive of each file the step
// changes has room for the payload, the new file beside the old one and 10 MiB; false at the first
// file without room.
bool PrepareSteps(PatchJob& job, std::uint64_t* total);

// Applies one collected and narrowed version step. False when it stopped: job.failed is set and
// job.failedFile names the file.
bool ApplyStep(PatchJob& job);

// Writes every collected whole-file entry of a group into the destination and verifies it; failures
// set job.failed and job.failedFile.
void CopyWholeFiles(PatchJob& job);


// The files a pass over the job's collected names would write or delete, as full paths (in subfolder
// mode those of the subfolder), for the checks a run makes before it changes anything. `versioned`:
// the names are a version step's (their action suffixes are left out).
std::vector<std::string> EntryTargets(const PatchJob& job, bool versioned);

// Advances the progress window by the payload's size, plus the target's size unless the payload is
// exactly one byte (an action marker).
void ReportFileProgress(RunInterface& ui, std::uint64_t payloadSize, const char* targetPath);

}  // namespace patch
