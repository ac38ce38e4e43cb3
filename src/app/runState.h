#pragma once
// What one patch run holds between its phases: the manifest's texts, the installation it found, the
// distribution, the one job every pass reuses and the journal of the files it changes. Owned by
// PatchRun; every part is released when the run returns.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/manifest.h"
#include "app/patchRun.h"
#include "app/versionRules.h"
#include "patch/moduleEntrySource.h"
#include "patch/patchJob.h"
#include "patch/stepJournal.h"

namespace app {

// Phase numbers of the error report.
enum Phase {
  kPhaseSteps = 1,
  kPhaseInstalledGroup = 2,
  kPhaseAllGroup = 3,
  kPhaseAddon = 4,
  kPhaseWorkingFolder = 5,
  kPhaseVerifyApplied = 10
};

struct RunState {
  PatchRunOptions options;
  std::unique_ptr<patch::ModuleEntrySource> module;  // the store opened by the run
  patch::EntrySource* store = nullptr;                // that one, or the caller's
  Manifest manifest;
  std::string installFolder;        // ends with a backslash
  std::string installedVersionText;
  VersionNumber patchVersion = 0;      // V
  VersionNumber installedVersion = 0;  // I
  std::vector<std::string> distributions;  // the chosen tag first, then its ancestors
  patch::PatchJob job;
  patch::StepJournal journal;
  bool resuming = false;     // the journal holds an interrupted run of this patch
  bool journalOpen = false;  // the run records what it changes (never in a dry run)
  std::uint64_t total = 0;   // the progress total of the update phases

  const std::string& Distribution() const {
    static const std::string none;
    return distributions.empty() ? none : distributions.front();
  }
  bool IsAddon() const { return !manifest.addonName.empty(); }
};

// Message 9 with `text` and `phase` into the progress log, and the window kept open.
void ReportPhaseError(const char* text, int phase);

// The update phases after the installation was verified: steps, whole-file groups, commands, side
// effects and the final report. Returns the run's result.
int RunUpdatePhases(RunState& run);

// What the update phases would do, listed in the log, with the free-space test; nothing is written.
int ListUpdatePhases(RunState& run);

}  // namespace app
