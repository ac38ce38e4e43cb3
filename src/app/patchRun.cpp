#include "app/patchRun.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramFile.h"
#include "Es/Containers/nameText.h"
#include "app/distributions.h"
#include "app/installation.h"
#include "app/installationCheck.h"
#include "app/runState.h"
#include "app/signedManifest.h"
#include "patch/entryNames.h"
#include "patch/patchStore.h"
#include "patch/verification.h"
#include "platform/keyBlob.h"
#include "ui/messages.h"
#include "ui/userInterface.h"

namespace app {
namespace {

// Message boxes take their text from a buffer of this size, placeholders already replaced.
constexpr std::size_t kBoxText = 1024;

void ShowError(const RunState& run, const std::string& text) { ui::ShowMessage(*run.ui, text.c_str(), ui::BoxIcon::Error); }

void NotInstalled(const RunState& run, std::size_t bufferSize) { ShowError(run, ui::FormatMessage(2, bufferSize, bufferSize)); }

void AppendMessage(const RunState& run, const std::string& text) { run.ui->AppendLog(text.c_str()); }

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
  ShowError(run, "Patch file is corrupted, error 1.");
  return false;
}

// The payload against its signed table, before anything of it is used: with the table every entry
// must be the publisher's, and the run sees nothing else; a patch without it is taken as the options
// say. False, after a box, when the patch is refused.
bool CheckSignedPayload(RunState& run) {
  const patch::PayloadCheck check = patch::CheckPayload(*run.store, run.options.trustedKey, true);
  if (check.hasTable) {
    if (!check.verified) {
      for (const std::string& problem : check.problems) LogF("payload table: %s", problem.c_str());
      ShowError(run, "Patch file is corrupted: " + check.problems.front() + ". Nothing was changed.");
      return false;
    }
    run.verified = std::make_unique<patch::VerifiedEntrySource>(*run.store, check.table);
    run.store = run.verified.get();
    char text[160];
    const double mebibytes = static_cast<double>(check.bytes) / 1048576.0;
    std::snprintf(text, sizeof text, "Payload: %d entries (%.*f %s) match the publisher's signed table.", check.entries,
                  mebibytes < 1 ? 0 : 1, mebibytes < 1 ? mebibytes * 1024 : mebibytes, mebibytes < 1 ? "KiB" : "MiB");
    AppendMessage(run, text);
    return true;
  }
  const std::uint32_t bits = platform::KeyBits(run.options.trustedKey);
  if (bits >= platform::kPayloadTableKeyBits) {
    ShowError(run, "Patch file is corrupted: it carries no signed payload table, which every patch signed with a key of " +
              std::to_string(bits) + " bits has. Nothing was changed.");
    return false;
  }
  switch (run.options.unsignedPayload) {
    case UnsignedPayload::Refuse:
      ShowError(run, "This patch carries no signed payload table: only its manifest is signed, so the files it would "
                "install cannot be proven to be the publisher's. It was refused; nothing was changed. To apply it "
                "anyway, without starting any program it carries, run it again with --allow-unsigned-payload.");
      return false;
    case UnsignedPayload::ApplyNoPrograms:
      run.carriedProgramsAllowed = false;
      AppendMessage(run, "Only the patch's manifest is signed (it carries no payload table): applied as allowed, without "
                    "starting the delta tool or the commands it carries.");
      return true;
    case UnsignedPayload::Apply:
      AppendMessage(run, "Only the patch's manifest is signed: it carries no payload table.");
      return true;
  }
  return false;
}

// The steps that lead from the installed version to the patch's, each taking the installation from
// its source version to its target; the next step starts where the last one ended. False, after a box,
// when they do not reach the patch's version, or the patch lacks the checksum list that proves it.
bool FindStepChain(RunState& run) {
  std::map<VersionNumber, std::set<VersionNumber>> steps;
  run.store->EnumerateNames(
      [](const char* name, void* context) {
        int fromMajor = 0, fromMinor = 0, toMajor = 0, toMinor = 0;
        char separator = 0;
        if (std::sscanf(name, "%d.%d-%d.%d%c", &fromMajor, &fromMinor, &toMajor, &toMinor, &separator) == 5 &&
            separator == '\\') {
          (*static_cast<std::map<VersionNumber, std::set<VersionNumber>>*>(context))[fromMajor * 100 + fromMinor].insert(
              toMajor * 100 + toMinor);
        }
      },
      &steps);
  const auto refuse = [&](const std::string& why) {
    ShowError(run, "This patch cannot bring version " + run.installedVersionText + " to version " + run.manifest.version +
              ": " + why + ". Nothing was changed.");
    return false;
  };
  run.stepMinors.clear();
  run.stepTargets.clear();
  for (VersionNumber at = run.installedVersion; at != run.patchVersion;) {
    const auto found = steps.find(at);
    if (found == steps.end()) return refuse("it has no step from version " + VersionText(at));
    if (found->second.size() > 1) return refuse("it has more than one step from version " + VersionText(at));
    const VersionNumber next = *found->second.begin();
    if (Major(next) != Major(at) || next <= at || next > run.patchVersion) {
      return refuse("its step from version " + VersionText(at) + " leads to version " + VersionText(next));
    }
    run.stepMinors.push_back(Minor(at));
    run.stepTargets.push_back(next);
    at = next;
  }
  const std::string listName = "CRC\\" + VersionText(run.patchVersion) + "\\CRC.CRC";
  std::string list;
  if (!patch::EntryText(*run.store, listName.c_str(), &list)) {
    return refuse("it carries no checksum list of version " + VersionText(run.patchVersion) + " (" + listName +
                  "), without which the result cannot be proven");
  }
  return true;
}

// No other run may change the installation while this one might: the lock beside the game is taken
// before the journal is read. False, after a box naming the cause, when it cannot be.
bool LockInstallation(RunState& run) {
  const std::string path = run.installFolder + "zrpatch.lock";
  std::string error;
  switch (run.lock.Acquire(path, &error)) {
    case platform::LockResult::Acquired:
      return true;
    case platform::LockResult::HeldElsewhere:
      ShowError(run, "Another run of the patch is updating this installation (it holds " + path +
                "). Wait until it ends, then run the patch again. Nothing was changed.");
      return false;
    case platform::LockResult::Failed:
      break;
  }
  ShowError(run, "The installation cannot be locked for the update: " + error + ". Nothing was changed.");
  return false;
}

// The journal of an earlier run of this patch that was interrupted: its installed version is the one
// that run started from, since some files may already be at the patch's version. False, with a box,
// when the journal cannot be read or belongs to another patch.
bool OpenJournal(RunState& run, bool* resuming) {
  *resuming = false;
  if (!run.journal.Open(patch::StepJournal::PathIn(run.installFolder))) {
    ShowError(run, "The record of an interrupted patch run (" + patch::StepJournal::PathIn(run.installFolder) +
              ") cannot be read. Restore the installation, delete that file and run the patch again.");
    return false;
  }
  const std::string started = run.journal.Value("from");
  if (!run.journal.Resuming() || started.empty()) return true;
  const std::string patchVersion = run.journal.Value("patch");
  if (!EqualIgnoringCase(patchVersion, run.manifest.version)) {
    ShowError(run, "An earlier patch run to version " + patchVersion +
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
      ShowError(run, ui::FormatMessage(19, kBoxText, kBoxText, Major(rule.required), Minor(rule.required),
                                  Major(run.installedVersion), Minor(run.installedVersion)));
      return false;
    case VersionDecision::InstalledNewer:
      ShowError(run, ui::FormatMessage(5, kBoxText, kBoxText, run.installedVersionText.c_str(), manifest.version.c_str()));
      return false;
    case VersionDecision::Apply:
    case VersionDecision::AlreadyApplied:
      break;
  }
  return true;
}

}  // namespace

bool ChooseDistribution(RunState& run) {
  std::vector<std::string>& candidates = run.distributions;
  if (candidates.empty()) return true;
  std::string chosen = candidates.front();
  if (candidates.size() > 1) {
    std::vector<ui::KnownDistribution> known;
    for (const ManifestDistribution& distribution : run.manifest.distributions) {
      known.push_back({distribution.tag, distribution.displayName});
    }
    chosen = run.ui->ChooseDistribution(known, candidates);
    if (chosen.empty()) return false;
  }
  std::string displayName;
  candidates = ChosenWithAncestors(run.manifest, chosen, &displayName);
  if (!displayName.empty()) AppendMessage(run, ui::FormatMessage(24, kBoxText, kBoxText, displayName.c_str()));
  return true;
}

namespace {

// The distribution named in advance must be one the patch declares and the installation can be.
bool AcceptNamedDistribution(const RunState& run) {
  const std::string& named = run.options.distribution;
  if (named.empty()) return true;
  const auto listed = [&](const std::vector<std::string>& tags, std::string* text) {
    bool found = false;
    for (const std::string& tag : tags) {
      found = found || EqualIgnoringCase(tag, named);
      *text += (text->empty() ? "" : ", ") + tag;
    }
    return found;
  };
  std::vector<std::string> declared;
  for (const ManifestDistribution& distribution : run.manifest.distributions) declared.push_back(distribution.tag);
  std::string text;
  if (!listed(declared, &text)) {
    ShowError(run, "This patch has no distribution " + named + " (" +
              (declared.empty() ? std::string("it declares none") : "it has " + text) + "). Nothing was changed.");
    return false;
  }
  text.clear();
  if (!listed(run.distributions, &text)) {
    ShowError(run, "The installation cannot be the distribution " + named + " (" +
              (run.distributions.empty() ? std::string("it matches none") : "it can be " + text) +
              "). Nothing was changed.");
    return false;
  }
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
  job.known = &run.known;
  job.lists = &run.lists;
  job.ui = &run.messages;
  job.uninstall = &run.uninstall;
  // A target directory receives the files the patch updates; the main folder keeps the old ones.
  job.subfolder = run.manifest.targetDirectory.c_str();
  job.applied = false;
}

// An installation already at the patch's version is only verified.
int VerifyApplied(RunState& run) {
  ui::UserInterface* window = run.ui;
  AppendMessage(run, ui::FormatMessage(11, kBoxText, kBoxText, Major(run.patchVersion), Minor(run.patchVersion)));
  const std::string prefix = run.installedVersionText + "\\";
  run.job.prefix = prefix.c_str();
  // With a target directory, a file patched before is its copy there (InstalledPath).
  run.job.destination = run.installFolder.c_str();
  const bool verified = patch::VerifyInstallation(run.job, "", run.distributions, false, false) == patch::kVerified;
  if (verified) {
    AppendMessage(run, ui::FormatMessage(4, kBoxText, kBoxText, run.installedVersionText.c_str()));
  } else {
    ReportPhaseError(run, run.installedVersionText.c_str(), kPhaseVerifyApplied);
  }
  window->SetKeepOpen();
  return verified ? kPatchDone : kPatchFailed;
}

int Run(RunState& run) {
  if (!OpenStore(run)) return kPatchFailed;
  {
    ParamFile file;
    if (!LoadSignedManifest(*run.store, run.options.trustedKey, file, *run.ui)) return kPatchFailed;
    if (!CheckSignedPayload(run)) return kPatchFailed;
    run.manifest = ReadManifest(file);
  }
  std::string& targetDirectory = run.manifest.targetDirectory;
  while (!targetDirectory.empty() && (targetDirectory.back() == '\\' || targetDirectory.back() == '/')) {
    targetDirectory.pop_back();
  }
  if (!targetDirectory.empty() && !patch::IsContainedRelativePath(targetDirectory)) {
    ShowError(run, "Patch file is corrupted: its target directory (" + targetDirectory +
              ") is not a folder inside the installation. Nothing was changed.");
    return kPatchFailed;
  }
  const Manifest& manifest = run.manifest;
  ui::SetPlaceholders(manifest.displayName.empty() ? nullptr : manifest.displayName.c_str(), manifest.version.c_str());

  if (!run.options.installFolder.empty()) {
    run.installFolder = run.options.installFolder;
  } else if (!FindInstallFolder(manifest.configApp, &run.installFolder)) {
    NotInstalled(run, 256);
    return kPatchFailed;
  }
  const std::vector<std::string> executables =
      FindExecutables(manifest.appName, run.installFolder, manifest.targetDirectory);
  std::string executable;
  if (executables.empty() || !FindInstalledVersion(executables, &run.installedVersionText, &executable)) {
    NotInstalled(run, kBoxText);
    return kPatchFailed;
  }
  // A verification only reads: it takes no lock and leaves the journal as it is.
  if (run.options.verifyOnly) return CheckInstallation(run);
  if (!run.options.dryRun && !LockInstallation(run)) return kPatchFailed;
  bool resuming = false;
  if (!OpenJournal(run, &resuming)) return kPatchFailed;
  run.patchVersion = ParseVersion(manifest.version);
  run.installedVersion = ParseVersion(run.installedVersionText);
  bool alreadyApplied = false;
  if (!AcceptVersion(run, &alreadyApplied)) return kPatchFailed;
  alreadyApplied = alreadyApplied && manifest.isPatch;
  if (manifest.isPatch && !alreadyApplied && !FindStepChain(run)) return kPatchFailed;

  run.distributions = DistributionCandidates(manifest);
  ApplyDistributionRules(manifest, run.installFolder, &run.distributions);
  if (!AcceptNamedDistribution(run)) return kPatchFailed;

  // A dry run changes nothing, so there is nothing to agree to.
  if (!run.options.dryRun && !ui::AskStartQuestion(*run.ui)) return kPatchDeclined;
  if (!ChooseDistribution(run)) return kPatchFailed;

  ui::UserInterface* window = run.ui;
  window->Show(true);
  SetUpJob(run);
  window->SetTitle(TitleText(run).c_str());
  window->SetTotal(0);
  window->Advance(0);

  if (alreadyApplied) return VerifyApplied(run);

  if (resuming && run.journal.Failed()) {
    // The run that began the update failed, and the installation may have been restored or changed
    // since: every file is checked against the versions that run went through, and nothing it
    // recorded as done is taken on trust.
    AppendMessage(run, "An earlier update from version " + run.installedVersionText +
                  " did not complete; the installation is checked again before it goes on.");
    run.job.prefix = "";
    run.job.destination = run.installFolder.c_str();
    run.job.recheckDone = true;
    std::vector<std::pair<int, int>> versions = {{Major(run.installedVersion), Minor(run.installedVersion)}};
    for (VersionNumber reached : run.stepTargets) versions.push_back({Major(reached), Minor(reached)});
    if (patch::VerifyAgainstVersions(run.job, versions, run.distributions) != patch::kVerified) {
      AppendMessage(run, ui::FormatMessage(14, kBoxText, kBoxText));
      window->SetKeepOpen();
      return kPatchFailed;
    }
  } else if (resuming) {
    AppendMessage(run, "Completing the interrupted update from version " + run.installedVersionText + ".");
  } else if (!run.IsAddon()) {
    AppendMessage(run, ui::FormatMessage(11, kBoxText, kBoxText, Major(run.installedVersion), Minor(run.installedVersion)));
    const std::string prefix = run.installedVersionText + "\\";
    run.job.prefix = prefix.c_str();
    run.job.destination = run.installFolder.c_str();
    if (patch::VerifyInstallation(run.job, "", run.distributions, true, false) != patch::kVerified) {
      AppendMessage(run, ui::FormatMessage(14, kBoxText, kBoxText));
      window->SetKeepOpen();
      return kPatchFailed;
    }
  }
  AppendMessage(run, TitleText(run));
  if (run.options.dryRun) return ListUpdatePhases(run);

  run.resuming = resuming;
  return RunUpdatePhases(run);
}

}  // namespace

void ReportPhaseError(const RunState& run, const char* text, int phase) {
  ui::UserInterface* window = run.ui;
  window->AppendLog(ui::FormatMessage(9, kBoxText, kBoxText, text, phase).c_str());
  window->SetKeepOpen();
}

int PatchRun(const PatchRunOptions& options) {
  RunState run;
  run.options = options;
  run.ui = options.userInterface ? options.userInterface : ui::CurrentUserInterface();
  run.messages = RunMessages(run.ui);
  const int result = Run(run);
  ReleaseDeltaTool(run);
  return result;
}

}  // namespace app
