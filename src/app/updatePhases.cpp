// The update phases of a patch run: the working folder with the delta tool, the free-space pass, the
// version steps, the whole-file groups, the commands, the side effects and the report.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "El/Common/appFrame.h"
#include "Es/Containers/nameText.h"
#include "app/runState.h"
#include "install/registryUpdates.h"
#include "install/shortcuts.h"
#include "install/uninstallLog.h"
#include "patch/applyPatch.h"
#include "patch/entryNames.h"
#include "patch/payloadCheck.h"
#include "patch/patchStore.h"
#include "patch/stepApplication.h"
#include "patch/verification.h"
#include "platform/digest.h"
#include "platform/fileSystem.h"
#include "platform/machine.h"
#include "platform/process.h"
#include "ui/messages.h"
#include "ui/userInterface.h"

namespace app {
namespace {

constexpr std::size_t kText = 1024;

void AppendMessage(const RunState& run, const std::string& text) { run.ui->AppendLog(text.c_str()); }

// Fills the job's names with the group's entries for the installation's distributions.
void Collect(RunState& run, const std::string& prefix, const std::string& destination, bool versioned) {
  patch::PatchJob& job = run.job;
  job.prefix = prefix.c_str();
  job.destination = destination.c_str();
  job.names.Clear();
  patch::CollectEntries(job);
  patch::SelectForDistribution(job.names, run.distributions, versioned);
}

std::string StepPrefix(const RunState& run, int minor) {
  return VersionText(Major(run.installedVersion) * 100 + minor) + "-";
}

void DiskFull(const RunState& run) {
  char drive[8];
  std::snprintf(drive, sizeof drive, "%c:", run.installFolder.empty() ? '?' : run.installFolder[0]);
  ui::ShowMessage(*run.ui, ui::FormatMessage(7, kText, kText, drive).c_str(), ui::BoxIcon::Error);
}

// The free-space pass over every version step, adding each step's work to the progress total.
bool PrepareAllSteps(RunState& run) {
  for (int minor : run.stepMinors) {
    Collect(run, StepPrefix(run, minor), run.installFolder, true);
    if (!patch::PrepareSteps(run.job, &run.total)) {
      DiskFull(run);
      return false;
    }
  }
  return true;
}

struct FolderListing {
  std::vector<std::string> files, folders, links;
};

void Visit(const platform::FolderEntry& entry, void* context) {
  auto* listing = static_cast<FolderListing*>(context);
  const std::string name = entry.name;
  if (name == "." || name == "..") return;
  (entry.isLink ? listing->links : entry.isFolder ? listing->folders : listing->files).push_back(name);
}

// Deletes everything in `folder` (read-only files too) and, with `alsoFolder`, the folder itself. A link
// is removed itself, never followed: what it leads to is not the run's.
void RemoveFolder(const std::string& folder, bool alsoFolder) {
  if (folder.empty()) return;
  platform::FileSystem* files = platform::CurrentFileSystem();
  FolderListing listing;
  files->ListFolder(folder.c_str(), Visit, &listing);
  for (const std::string& name : listing.links) {
    const std::string path = folder + "\\" + name;
    if (!files->Delete(path.c_str())) files->RemoveFolder(path.c_str());  // a link to a folder, on Windows
  }
  for (const std::string& name : listing.files) {
    const std::string path = folder + "\\" + name;
    files->MakeWritable(path.c_str());
    files->Delete(path.c_str());
  }
  for (const std::string& name : listing.folders) RemoveFolder(folder + "\\" + name, true);
  if (alsoFolder) {
    files->MakeWritable(folder.c_str());
    files->RemoveFolder(folder.c_str());
  }
}

// The working folder below the temporary folder ("...\ZRPatch", without a final backslash), made
// when missing and guarded as the installation is. A link in its place is refused: the run would
// write wherever it leads.
bool WorkingFolder(RunState& run, std::string* folder) {
  std::string temporary;
  if (!platform::TemporaryFolder(&temporary) || temporary.size() > 260) {
    ReportPhaseError(run, "Temporary directory", kPhaseWorkingFolder);
    return false;
  }
  *folder = temporary + "ZRPatch";
  platform::FileSystem* files = platform::CurrentFileSystem();
  if (files->IsLink(folder->c_str())) {
    AppendMessage(run, "The working folder " + *folder + " is a link; it is not used.");
    ReportPhaseError(run, "Temporary directory", kPhaseWorkingFolder);
    return false;
  }
  if (!files->CreateFolder(folder->c_str()) || (run.boundary && !run.boundary->AddFolder(*folder))) {
    ReportPhaseError(run, "Temporary directory", kPhaseWorkingFolder);
    return false;
  }
  return true;
}

// Whether the file at `path`, read through `file` (held open, so that nobody can change or replace it
// while the run needs it), has the digest the payload table gives the entry `name`.
bool MatchesSignedDigest(const RunState& run, const char* name, platform::FileHandle file) {
  platform::Sha256Digest expected, digest;
  if (!run.verified || !run.verified->Digest(name, &expected)) return false;
  platform::FileSystem* files = platform::CurrentFileSystem();
  std::uint64_t size = 0;
  if (!files->Size(file, &size)) return false;
  platform::Sha256 hash;
  std::vector<std::uint8_t> block(1u << 20);
  for (std::uint64_t at = 0; at < size;) {
    const std::uint32_t want = static_cast<std::uint32_t>(size - at < block.size() ? size - at : block.size());
    std::uint32_t got = 0;
    if (!files->ReadAt(file, at, block.data(), want, &got) || got != want) return false;
    hash.Update(block.data(), got);
    at += got;
  }
  return hash.Final(&digest) && digest == expected;
}

// Writes the delta tool the patch carries into the working folder, for the deltas the linked decoder
// declines. With a signed payload the written file is held open and its digest checked before it may
// ever run; a patch whose payload is not signed starts no program it carries. A patch without the tool
// still applies every delta the linked decoder handles.
bool WriteDeltaTool(RunState& run, const std::string& workingFolder) {
  run.job.deltaTool.clear();
  patch::EntryRange entry;
  if (!patch::FindEntry(*run.store, "XDELTA3.EXE", &entry)) {
    LogF("The patch carries no delta tool; deltas are decoded by the linked decoder only.");
    return true;
  }
  if (!run.carriedProgramsAllowed) {
    LogF("The patch's payload is not signed: its delta tool is not used.");
    return true;
  }
  const std::string tool = workingFolder + "\\xdelta3.exe";
  if (!patch::ExtractEntry(*run.store, "XDELTA3.EXE", tool.c_str(), nullptr, &run.messages)) {
    ReportPhaseError(run, "cannot find xdelta3.exe", kPhaseWorkingFolder);
    return false;
  }
  if (run.verified) {
    platform::FileSystem* files = platform::CurrentFileSystem();
    run.deltaTool = files->OpenRead(tool.c_str());
    if (!platform::IsValidFile(run.deltaTool) || !MatchesSignedDigest(run, "XDELTA3.EXE", run.deltaTool)) {
      LogF("%s: the written delta tool is not the one the publisher signed", tool.c_str());
      ReleaseDeltaTool(run);
      ReportPhaseError(run, "cannot find xdelta3.exe", kPhaseWorkingFolder);
      return false;
    }
  }
  run.job.deltaTool = tool;
  return true;
}

// The delta tool is let go before its folder is removed.
void RemoveWorkingFolder(RunState& run, const std::string& workingFolder) {
  ReleaseDeltaTool(run);
  RemoveFolder(workingFolder, true);
}

// Before the first change: every file the run will write or delete lies where it seems to, no link on
// its way leading out of the installation or the working folder. False, with each such path named.
bool CheckBoundary(RunState& run) {
  if (!run.boundary) return true;
  std::map<std::string, std::string> targets;  // each file once, whatever the case of its name
  for (const std::string& own : {patch::StepJournal::PathIn(run.installFolder), run.installFolder + "uninstall.log"}) {
    targets.emplace(UpperAscii(own), own);
  }
  const auto add = [&](const std::string& prefix, bool versioned) {
    Collect(run, prefix, run.installFolder, versioned);
    for (const std::string& target : patch::EntryTargets(run.job, versioned)) targets.emplace(UpperAscii(target), target);
  };
  for (int minor : run.stepMinors) add(StepPrefix(run, minor), true);
  add(run.installedVersionText + "\\", false);
  add("All\\", false);
  add("Add\\", false);
  bool contained = true;
  for (const auto& target : targets) contained = run.boundary->Permits(target.second) && contained;
  if (!contained) ReportPhaseError(run, run.installFolder.c_str(), kPhaseSteps);
  return contained;
}

// From here on files change: the journal records the run so that a rerun can complete it.
bool StartJournal(RunState& run) {
  if (!run.resuming && (!run.journal.SetValue("patch", run.manifest.version) ||
                        !run.journal.SetValue("from", run.installedVersionText))) {
    ReportPhaseError(run, patch::StepJournal::PathIn(run.installFolder).c_str(), kPhaseSteps);
    return false;
  }
  run.journalOpen = true;
  run.job.journal = &run.journal;
  return true;
}

// The version steps, chained by their source versions: every minor from the installed one up to one
// below the patch's is tried, so a minor without a step contributes nothing.
int ApplySteps(RunState& run) {
  if (!PrepareAllSteps(run) || !CheckBoundary(run)) return kPatchFailed;
  std::string workingFolder;
  if (!WorkingFolder(run, &workingFolder)) return kPatchFailed;
  if (!WriteDeltaTool(run, workingFolder) || !StartJournal(run)) {
    RemoveWorkingFolder(run, workingFolder);
    return kPatchFailed;
  }
  run.ui->SetTotal(run.total);
  for (int minor : run.stepMinors) {
    Collect(run, StepPrefix(run, minor), run.installFolder, true);
    if (!patch::ApplyStep(run.job)) break;
  }
  RemoveWorkingFolder(run, workingFolder);
  if (run.job.failed) {
    ReportPhaseError(run, run.job.failedFile.Data(), kPhaseSteps);
    return kPatchFailed;
  }
  return kPatchDone;
}

// One group of whole files copied into `destination`.
int CopyGroup(RunState& run, const std::string& prefix, const std::string& destination, int phase) {
  Collect(run, prefix, destination, false);
  patch::CopyWholeFiles(run.job);
  if (!run.job.failed) return kPatchDone;
  ReportPhaseError(run, run.job.failedFile.Data(), phase);
  return kPatchFailed;
}

// The manifest's commands, one after another, each to its end, in the working folder. A command that
// cannot start is noted in the diagnostics log and in the progress log, and the patch goes on; a
// working folder that cannot be entered starts none of them, saying so.
void RunCommands(const RunState& run, const std::string& workingFolder) {
  if (run.manifest.commands.empty()) return;
  if (!run.carriedProgramsAllowed) {
    AppendMessage(run, "The patch's payload is not signed: its commands were not started.");
    return;
  }
  platform::FileSystem* files = platform::CurrentFileSystem();
  std::string current;
  const bool remembered = files->CurrentFolder(&current);
  if (!files->SetCurrentFolder(workingFolder.c_str())) {
    char reason[256];
    files->ErrorText(files->LastError(), reason, sizeof reason);
    AppendMessage(run, "The commands were not started: the working folder " + workingFolder + " cannot be entered (" +
                  reason + ").");
    return;
  }
  for (const ManifestCommand& command : run.manifest.commands) {
    if (command.commandLine.empty()) continue;
    const platform::ProcessRun process =
        platform::RunProcess(command.commandLine.c_str(), command.directory.empty() ? nullptr : command.directory.c_str(),
                             platform::kManifestCommandStart);
    if (!process.started) {
      LogF("CreateProcess failed, error 0x%x", static_cast<unsigned>(process.failure.systemError));
      AppendMessage(run, "The command " + command.commandLine + " could not be started: " + process.failure.reason);
    }
  }
  if (remembered) files->SetCurrentFolder(current.c_str());
}

// "All\", the temporary group and the commands of a patch.
int PatchGroupsAndCommands(RunState& run) {
  if (CopyGroup(run, "All\\", run.installFolder, kPhaseAllGroup) != kPatchDone) return kPatchFailed;
  std::string workingFolder;
  if (!WorkingFolder(run, &workingFolder)) return kPatchFailed;
  // The working folder is made anew by every run, so its files are written every time, never taken
  // from the journal as done.
  patch::StepJournal* journal = run.job.journal;
  run.job.journal = nullptr;
  const int copied = CopyGroup(run, "Tmp\\", workingFolder + "\\", kPhaseWorkingFolder);
  run.job.journal = journal;
  if (copied != kPatchDone) return kPatchFailed;
  RunCommands(run, workingFolder);
  RemoveWorkingFolder(run, workingFolder);
  return kPatchDone;
}

// The proof that a patch reached its version: every file of that version's list, by the checksums the
// run already knows and by reading the rest.
bool VerifyReachedVersion(RunState& run) {
  patch::PatchJob& job = run.job;
  job.destination = run.installFolder.c_str();
  std::string failedFile;
  AppendMessage(run, ui::FormatMessage(11, kText, kText, Major(run.patchVersion), Minor(run.patchVersion)));
  if (patch::VerifyReachedVersion(job, run.distributions, &failedFile)) return true;
  AppendMessage(run, "The update did not bring every file to version " + run.manifest.version + ".");
  ReportPhaseError(run, failedFile.c_str(), kPhaseVerifyApplied);
  return false;
}

// Logs each problem, then message 9 for the side effects: the run fails with its causes named.
bool Refuse(const RunState& run, const std::vector<std::string>& problems, const std::string& what) {
  if (problems.empty()) return true;
  for (const std::string& problem : problems) AppendMessage(run, problem + ".");
  ReportPhaseError(run, what.c_str(), kPhaseSideEffects);
  return false;
}

// Before the first change: the registry values and shortcuts the run writes at its end can be written,
// so that a run never patches the files and then loses the settings.
bool CheckSideEffects(const RunState& run) {
  std::vector<std::string> problems;
  install::CanUpdateRegistry(run.manifest.registry, run.Distribution(), &problems);
  install::CanCreateShortcuts(run.manifest.shortcuts, run.installFolder, run.Distribution(), &problems);
  return Refuse(run, problems, "registry and shortcuts");
}

// The registry values, the shortcuts and the uninstall log, once every file is in place. Any of them
// that fails fails the run: a rerun writes them all again.
bool WriteSideEffects(RunState& run) {
  std::vector<std::string> problems;
  install::UpdateRegistry(run.manifest.registry, run.Distribution(), &problems);
  install::CreateShortcuts(run.manifest.shortcuts, run.installFolder, run.uninstall, run.Distribution(), &problems);
  if (!Refuse(run, problems, "registry and shortcuts")) return false;
  // A rerun after an interruption that came after the log was written must not append it twice.
  if (run.journalOpen && run.journal.Value("uninstall log") == "written") return true;
  std::string error;
  if (!install::WriteUninstallLog(run.uninstall, run.installFolder.c_str(), &error)) {
    return Refuse(run, {"The uninstall log was not written: " + error}, run.installFolder + "uninstall.log");
  }
  if (run.journalOpen) run.journal.SetValue("uninstall log", "written");
  return true;
}

int Report(RunState& run) {
  ui::UserInterface* window = run.ui;
  if (!run.job.applied) {
    if (run.journalOpen) run.journal.Remove();
    ui::ShowMessage(*run.ui, ui::FormatMessage(3, kText, kText, run.installedVersionText.c_str(), run.manifest.version.c_str())
                        .c_str(),
                    ui::BoxIcon::Error);
    return kPatchFailed;
  }
  if (run.manifest.isPatch && !run.IsAddon() && !VerifyReachedVersion(run)) return kPatchFailed;
  if (!WriteSideEffects(run)) return kPatchFailed;
  // A journal left behind would make the next run take this complete one up again: not a success.
  if (run.journalOpen && !run.journal.Remove()) {
    const std::string path = patch::StepJournal::PathIn(run.installFolder);
    AppendMessage(run, "Every file is updated, but the record of the run " + path + " cannot be deleted (" +
                  platform::LastFileSystemErrorText() + "); run the patch again to finish.");
    ReportPhaseError(run, path.c_str(), kPhaseSideEffects);
    return kPatchFailed;
  }
  window->SetStatus("");
  window->StopAnimation();
  if (run.IsAddon()) {
    AppendMessage(run, ui::FormatMessage(8, kText, kText, run.manifest.addonName.c_str()));
  } else {
    AppendMessage(run, ui::FormatMessage(6, kText, kText, run.manifest.version.c_str()));
  }
  window->SetKeepOpen();
  return kPatchDone;
}

void ListGroup(RunState& run, const std::string& prefix, const std::string& destination, bool versioned) {
  Collect(run, prefix, destination, versioned);
  for (int i = 0; i < run.job.names.Size(); ++i) {
    // ".EQU" and ".INI" entries of a step leave their file as it is: not a change to list.
    if (versioned && patch::ChangesNoFile(run.job.names[i].Data())) continue;
    AppendMessage(run, std::string("  ") + run.job.names[i].Data());
  }
}

}  // namespace

void ReleaseDeltaTool(RunState& run) {
  if (platform::IsValidFile(run.deltaTool)) platform::CurrentFileSystem()->Close(run.deltaTool);
  run.deltaTool = platform::kInvalidFile;
}

namespace {

int UpdatePhases(RunState& run) {
  const bool isPatch = run.manifest.isPatch;
  if (isPatch ? ApplySteps(run) != kPatchDone : !StartJournal(run)) return kPatchFailed;
  if (CopyGroup(run, run.installedVersionText + "\\", run.installFolder, kPhaseInstalledGroup) != kPatchDone) {
    return kPatchFailed;
  }
  if (isPatch && PatchGroupsAndCommands(run) != kPatchDone) return kPatchFailed;
  if (CopyGroup(run, "Add\\", run.installFolder, kPhaseAddon) != kPatchDone) return kPatchFailed;
  return Report(run);
}

}  // namespace

int RunUpdatePhases(RunState& run) {
  patch::InstallationBoundary boundary([&run](const std::string& line) { AppendMessage(run, line); });
  if (!boundary.AddFolder(run.installFolder)) {
    ReportPhaseError(run, run.installFolder.c_str(), kPhaseSteps);
    return kPatchFailed;
  }
  run.boundary = &boundary;
  const int result = CheckSideEffects(run) ? UpdatePhases(run) : kPatchFailed;
  run.boundary = nullptr;
  // A run that changed files and then failed says so in its journal: the next run checks everything
  // again instead of taking up where this one stopped, since the player may restore the game first.
  if (result != kPatchDone && run.journalOpen) run.journal.MarkFailed();
  return result;
}

int ListUpdatePhases(RunState& run) {
  if (run.manifest.isPatch) {
    if (!PrepareAllSteps(run)) return kPatchFailed;
    AppendMessage(run, "Dry run: the version steps would change these entries:");
    for (int minor : run.stepMinors) {
      ListGroup(run, StepPrefix(run, minor), run.installFolder, true);
    }
  }
  AppendMessage(run, "Dry run: whole files that would be written:");
  ListGroup(run, run.installedVersionText + "\\", run.installFolder, false);
  if (run.manifest.isPatch) ListGroup(run, "All\\", run.installFolder, false);
  ListGroup(run, "Add\\", run.installFolder, false);
  for (const install::RegistryUpdate& update : run.manifest.registry) {
    if (!install::RegistryUpdateApplies(update, run.Distribution())) continue;
    AppendMessage(run, std::string("Dry run: registry ") + (update.user ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") +
                  update.path + " " + update.name + " = " + update.value);
  }
  std::string commonPrograms;
  platform::CommonProgramsFolder(&commonPrograms);
  for (const install::Shortcut& shortcut : run.manifest.shortcuts) {
    if (!install::ShortcutApplies(shortcut, run.Distribution())) continue;
    AppendMessage(run, "Dry run: shortcut " + install::ShortcutLinkPath(shortcut, run.installFolder, commonPrograms));
  }
  if (!run.job.applied) {
    ui::ShowMessage(*run.ui, ui::FormatMessage(3, kText, kText, run.installedVersionText.c_str(), run.manifest.version.c_str())
                        .c_str(),
                    ui::BoxIcon::Error);
    return kPatchFailed;
  }
  AppendMessage(run, "Dry run: nothing was written.");
  return kPatchDone;
}

}  // namespace app
