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
#include "app/runMessages.h"
#include "app/versionRules.h"
#include "patch/checksumListCache.h"
#include "patch/installationBoundary.h"
#include "patch/knownChecksums.h"
#include "patch/moduleEntrySource.h"
#include "patch/patchJob.h"
#include "patch/payloadCheck.h"
#include "patch/stepJournal.h"
#include "platform/fileSystem.h"
#include "platform/runLock.h"
#include "ui/userInterface.h"

namespace app {

// Phase numbers of the error report.
enum Phase {
  kPhaseSteps = 1,
  kPhaseInstalledGroup = 2,
  kPhaseAllGroup = 3,
  kPhaseAddon = 4,
  kPhaseWorkingFolder = 5,
  kPhaseSideEffects = 6,  // the registry values, shortcuts and the uninstall log
  kPhaseVerifyApplied = 10
};

struct RunState {
  PatchRunOptions options;
  // Who the run talks to (never null once the run began), and the patch layer's events shown there.
  ui::UserInterface* ui = nullptr;
  RunMessages messages{nullptr};
  // The files and folders the run creates, for the uninstall log it writes at the end.
  DynArray<RefString> uninstall;
  std::unique_ptr<patch::ModuleEntrySource> module;  // the store opened by the run
  // The store narrowed to what the signed payload table lists, once every entry matched it.
  std::unique_ptr<patch::VerifiedEntrySource> verified;
  patch::EntrySource* store = nullptr;                // the verified store, else the opened or the caller's
  // False for a patch whose payload is not signed and may not start the programs it carries.
  bool carriedProgramsAllowed = true;
  // The delta tool written to the working folder, held open (so that it cannot be changed or replaced)
  // from the check of its digest until the working folder is removed.
  platform::FileHandle deltaTool = platform::kInvalidFile;
  // While the update phases run: the folders the run may change, guarded against links out of them.
  patch::InstallationBoundary* boundary = nullptr;
  Manifest manifest;
  std::string installFolder;        // ends with a backslash
  std::string installedVersionText;
  VersionNumber patchVersion = 0;      // V
  VersionNumber installedVersion = 0;  // I
  std::vector<std::string> distributions;  // the chosen tag first, then its ancestors
  // The source minor versions of the steps that lead from the installed version to the patch's, in
  // the order they are applied.
  std::vector<int> stepMinors;
  std::vector<VersionNumber> stepTargets;  // the version each of those steps leads to
  // The checksums of installed files the run knows without reading them again: verified before
  // updating and not touched since, or written by the run.
  patch::KnownChecksums known;
  patch::ChecksumListCache lists;  // each version's checksum list, parsed once
  patch::PatchJob job;
  platform::RunLock lock;  // held from before the journal is read until the run returns
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

// The distribution choice with two or more candidates; then the chosen one's name in the log and its
// ancestors after it. False when the user cancelled.
bool ChooseDistribution(RunState& run);

// Closes the delta tool's file if the run holds it open.
void ReleaseDeltaTool(RunState& run);

// Message 9 with `text` and `phase` into the progress log, and the window kept open.
void ReportPhaseError(const RunState& run, const char* text, int phase);

// The update phases after the installation was verified: steps, whole-file groups, commands, side
// effects and the final report. Returns the run's result.
int RunUpdatePhases(RunState& run);

// What the update phases would do, listed in the log, with the free-space test; nothing is written.
int ListUpdatePhases(RunState& run);

}  // namespace app
