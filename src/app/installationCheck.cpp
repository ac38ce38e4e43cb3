#include "app/installationCheck.h"

#include <string>
#include <vector>

#include "app/distributions.h"
#include "patch/patchStore.h"
#include "patch/stepJournal.h"
#include "patch/verification.h"
#include "ui/messages.h"
#include "ui/userInterface.h"

namespace app {
namespace {

constexpr std::size_t kText = 1024;

void Log(const RunState& run, const std::string& text) { run.ui->AppendLog(text.c_str()); }

void ShowError(const RunState& run, const std::string& text) { ui::ShowMessage(*run.ui, text.c_str(), ui::BoxIcon::Error); }

// An update of this installation that did not complete leaves its files partly at either version:
// there is no one list to hold them against. False, after a box, when there is one (or its record
// cannot be read). The record is only read.
bool NoUnfinishedUpdate(const RunState& run) {
  const std::string path = patch::StepJournal::PathIn(run.installFolder);
  patch::StepJournal journal;
  if (!journal.Open(path)) {
    ShowError(run, "The record of an interrupted patch run (" + path + ") cannot be read, so this installation cannot be "
              "verified. Restore the installation, delete that file and verify again.");
    return false;
  }
  if (!journal.Resuming()) return true;
  const std::string from = journal.Value("from"), to = journal.Value("patch");
  ShowError(run, "An update of this installation" + (from.empty() ? std::string() : " from version " + from) +
            (to.empty() ? std::string() : " to version " + to) +
            " did not complete (" + path + "): its files are partly at either version. Run that patch again to "
            "complete it, then verify.");
  return false;
}

}  // namespace

int CheckInstallation(RunState& run) {
  run.installedVersion = ParseVersion(run.installedVersionText);
  run.patchVersion = ParseVersion(run.manifest.version);
  if (!NoUnfinishedUpdate(run)) return kPatchFailed;
  const int major = Major(run.installedVersion), minor = Minor(run.installedVersion);
  const std::string listName = "CRC\\" + VersionText(run.installedVersion) + "\\CRC.CRC";
  std::string list;
  if (!patch::EntryText(*run.store, listName.c_str(), &list)) {
    ShowError(run, "This patch carries no checksum list of version " + run.installedVersionText +
              ", the version installed in " + run.installFolder + " (" + listName +
              "), so it cannot verify this installation.");
    return kPatchFailed;
  }

  run.distributions = DistributionCandidates(run.manifest);
  ApplyDistributionRules(run.manifest, run.installFolder, &run.distributions);
  if (!ChooseDistribution(run)) {
    ShowError(run, "Which distribution of the game is installed could not be told from its files, and none was chosen "
              "(--distribution TAG names it), so the installation was not verified.");
    return kPatchFailed;
  }

  ui::UserInterface* window = run.ui;
  window->Show(true);
  const std::string verifying = ui::FormatMessage(11, kText, kText, major, minor);
  window->SetTitle(verifying.c_str());
  Log(run, verifying);
  // The list of the installed version, its files where a run would look for them (in subfolder mode
  // the subfolder's copy where there is one). No checksums are known beforehand: every file is read.
  patch::PatchJob& job = run.job;
  job.store = run.store;
  job.ui = &run.messages;
  job.destination = run.installFolder.c_str();
  job.subfolder = run.manifest.targetDirectory.c_str();
  job.lists = &run.lists;
  job.sourceMajor = job.targetMajor = major;
  job.sourceMinor = job.targetMinor = minor;
  std::string firstProblem;
  std::vector<patch::FileProblem> problems;
  int checked = 0;
  const bool intact = patch::VerifyReachedVersion(job, run.distributions, &firstProblem, &problems, &checked);
  if (intact) {
    Log(run, "The installation is intact: all " + std::to_string(checked) + " files of version " +
        run.installedVersionText + " match the patch's checksum list.");
  } else {
    int missing = 0;
    for (const patch::FileProblem& problem : problems) missing += problem.missing ? 1 : 0;
    Log(run, "The installation is not intact: of the " + std::to_string(checked) + " files of version " +
        run.installedVersionText + ", " + std::to_string(missing) + " missing and " +
        std::to_string(problems.size() - missing) +
        " damaged. Restore them: the game's launcher or installer can repair the installation.");
  }
  window->SetKeepOpen();
  return intact ? kPatchDone : kPatchFailed;
}

}  // namespace app
