#include "app/patchRun.h"

#include <string>

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramFile.h"
#include "Es/Containers/nameText.h"
#include "app/distributions.h"
#include "app/installation.h"
#include "app/runState.h"
#include "app/signedManifest.h"
#include "patch/verification.h"
#include "ui/messages.h"
#include "ui/userInterface.h"

namespace app {
namespace {

// Message boxes take their text from a buffer of this size, placeholders already replaced.
constexpr std::size_t kBoxText = 1024;

void ShowError(const std::string& text) { ui::ShowMessage(text.c_str(), ui::BoxIcon::Error); }

void NotInstalled(std::size_t bufferSize) { ShowError(ui::FormatMessage(2, bufferSize, bufferSize)); }

void AppendMessage(const std::string& text) { ui::CurrentUserInterface()->AppendLog(text.c_str()); }

// Message 16 (updating from the installed version to the patch's) or, for an addon, 17.
std::string TitleText(const RunState& run) {
  if (run.IsAddon()) return ui::FormatMessage(17, kBoxText, kBoxText, run.manifest.addonName.c_str());
  return ui::FormatMessage(16, kBoxText, kBoxText, run.installedVersionText.c_str(), run.manifest.version.c_str());
}

// The store: the named file's resources, else the running program's own.
bool OpenStore(RunState& run) {
  if (run.options.store) {
    run.store = run.options.store;
    return true;
  }
  std::string error;
  if (!run.options.storePath.empty()) {
    run.module = patch::ModuleEntrySource::Open(run.options.storePath.c_str(), &error);
    if (!run.module) LogF("Cannot open %s as a patch: %s", run.options.storePath.c_str(), error.c_str());
  }
  if (!run.module) run.module = patch::ModuleEntrySource::Open(nullptr, &error);
  run.store = run.module.get();
  if (run.store) return true;
  LogF("The program's own payload cannot be opened: %s", error.c_str());
  ShowError("Patch file is corrupted, error 1.");
  return false;
}

// The journal of an earlier run of this patch that was interrupted: its installed version is the one
// that run started from, since some files may already be at the patch's version. False, with a box,
// when the journal cannot be read or belongs to another patch.
bool OpenJournal(RunState& run, bool* resuming) {
  *resuming = false;
  if (!run.journal.Open(patch::StepJournal::PathIn(run.installFolder))) {
    ShowError("The record of an interrupted patch run (" + patch::StepJournal::PathIn(run.installFolder) +
              ") cannot be read. Restore the installation, delete that file and run the patch again.");
    return false;
  }
  const std::string started = run.journal.Value("from");
  if (!run.journal.Resuming() || started.empty()) return true;
  const std::string patchVersion = run.journal.Value("patch");
  if (!EqualIgnoringCase(patchVersion, run.manifest.version)) {
    ShowError("An earlier patch run to version " + patchVersion +
              " was interrupted. Run that patch again to complete it before applying this one.");
    return false;
  }
  run.installedVersionText = started;
  *resuming = true;
  return true;
}

// The version rules: false, after their box, when the patch may not be applied.
bool AcceptVersion(RunState& run, bool* alreadyApplied) {
  const Manifest& manifest = run.manifest;
  const VersionRuleResult rule = DecideVersion(manifest.isPatch, manifest.version, run.installedVersionText,
                                               manifest.requiredForPatch, manifest.requiredForAddons);
  *alreadyApplied = rule.decision == VersionDecision::AlreadyApplied;
  switch (rule.decision) {
    case VersionDecision::RequiredNotMet:
      ShowError(ui::FormatMessage(19, kBoxText, kBoxText, Major(rule.required), Minor(rule.required),
                                  Major(run.installedVersion), Minor(run.installedVersion)));
      return false;
    case VersionDecision::InstalledNewer:
      ShowError(ui::FormatMessage(5, kBoxText, kBoxText, run.installedVersionText.c_str(), manifest.version.c_str()));
      return false;
    case VersionDecision::Apply:
    case VersionDecision::AlreadyApplied:
      break;
  }
  return true;
}

// The distribution choice with two or more candidates; then the chosen one's name in the log and its
// ancestors after it. False when the user cancelled.
bool ChooseDistribution(RunState& run) {
  std::vector<std::string>& candidates = run.distributions;
  if (candidates.empty()) return true;
  std::string chosen = candidates.front();
  if (candidates.size() > 1) {
    std::vector<ui::KnownDistribution> known;
    for (const ManifestDistribution& distribution : run.manifest.distributions) {
      known.push_back({distribution.tag, distribution.displayName});
    }
    chosen = ui::CurrentUserInterface()->ChooseDistribution(known, candidates);
    if (chosen.empty()) return false;
  }
  std::string displayName;
  candidates = ChosenWithAncestors(run.manifest, chosen, &displayName);
  if (!displayName.empty()) AppendMessage(ui::FormatMessage(24, kBoxText, kBoxText, displayName.c_str()));
  return true;
}

void SetUpJob(RunState& run) {
  patch::PatchJob& job = run.job;
  job.sourceMajor = Major(run.installedVersion);
  job.sourceMinor = Minor(run.installedVersion);
  job.targetMajor = Major(run.patchVersion);
  job.targetMinor = Minor(run.patchVersion);
  job.store = run.store;
  job.distribution = run.Distribution().c_str();
  job.distributions = run.distributions;
  job.applied = false;
}

// An installation already at the patch's version is only verified.
int VerifyApplied(RunState& run) {
  ui::UserInterface* window = ui::CurrentUserInterface();
  AppendMessage(ui::FormatMessage(11, kBoxText, kBoxText, Major(run.patchVersion), Minor(run.patchVersion)));
  const std::string prefix = run.installedVersionText + "\\";
  run.job.prefix = prefix.c_str();
  const std::string destination = run.manifest.targetDirectory.empty()
                                      ? run.installFolder
                                      : run.installFolder + run.manifest.targetDirectory + "\\";
  run.job.destination = destination.c_str();
  const bool verified = patch::VerifyInstallation(run.job, "", run.distributions, false, false) == patch::kVerified;
  if (verified) {
    AppendMessage(ui::FormatMessage(4, kBoxText, kBoxText, run.installedVersionText.c_str()));
  } else {
    ReportPhaseError(run.installedVersionText.c_str(), kPhaseVerifyApplied);
  }
  window->SetKeepOpen();
  return verified ? kPatchDone : kPatchFailed;
}

int Run(RunState& run) {
  if (!OpenStore(run)) return kPatchFailed;
  {
    ParamFile file;
    if (!LoadSignedManifest(*run.store, run.options.trustedKey, file)) return kPatchFailed;
    run.manifest = ReadManifest(file);
  }
  const Manifest& manifest = run.manifest;
  ui::SetPlaceholders(manifest.displayName.empty() ? nullptr : manifest.displayName.c_str(), manifest.version.c_str());

  if (!run.options.installFolder.empty()) {
    run.installFolder = run.options.installFolder;
  } else if (!FindInstallFolder(manifest.configApp, &run.installFolder)) {
    NotInstalled(256);
    return kPatchFailed;
  }
  const std::vector<std::string> executables =
      FindExecutables(manifest.appName, run.installFolder, manifest.targetDirectory);
  std::string executable;
  if (executables.empty() || !FindInstalledVersion(executables, &run.installedVersionText, &executable)) {
    NotInstalled(kBoxText);
    return kPatchFailed;
  }
  bool resuming = false;
  if (!OpenJournal(run, &resuming)) return kPatchFailed;
  run.patchVersion = ParseVersion(manifest.version);
  run.installedVersion = ParseVersion(run.installedVersionText);
  bool alreadyApplied = false;
  if (!AcceptVersion(run, &alreadyApplied)) return kPatchFailed;
  alreadyApplied = alreadyApplied && manifest.isPatch;

  run.distributions = DistributionCandidates(manifest);
  ApplyDistributionRules(manifest, run.installFolder, &run.distributions);

  if (!ui::AskStartQuestion()) return kPatchDeclined;
  if (!ChooseDistribution(run)) return kPatchFailed;

  ui::UserInterface* window = ui::CurrentUserInterface();
  window->Show(true);
  SetUpJob(run);
  window->SetTitle(TitleText(run).c_str());
  window->SetTotal(0);
  window->Advance(0);

  if (alreadyApplied) return VerifyApplied(run);

  if (resuming) {
    AppendMessage("Completing the interrupted update from version " + run.installedVersionText + ".");
  } else if (!run.IsAddon()) {
    AppendMessage(ui::FormatMessage(11, kBoxText, kBoxText, Major(run.installedVersion), Minor(run.installedVersion)));
    const std::string prefix = run.installedVersionText + "\\";
    run.job.prefix = prefix.c_str();
    run.job.destination = run.installFolder.c_str();
    if (patch::VerifyInstallation(run.job, "", run.distributions, true, false) != patch::kVerified) {
      AppendMessage(ui::FormatMessage(14, kBoxText, kBoxText));
      window->SetKeepOpen();
      return kPatchFailed;
    }
  }
  AppendMessage(TitleText(run));
  if (run.options.dryRun) return ListUpdatePhases(run);

  run.resuming = resuming;
  return RunUpdatePhases(run);
}

}  // namespace

void ReportPhaseError(const char* text, int phase) {
  ui::UserInterface* window = ui::CurrentUserInterface();
  window->AppendLog(ui::FormatMessage(9, kBoxText, kBoxText, text, phase).c_str());
  window->SetKeepOpen();
}

int PatchRun(const PatchRunOptions& options) {
  RunState run;
  run.options = options;
  return Run(run);
}

}  // namespace app
