#pragma once
// The passes of a patch run over an installation, as the update phases make them, for the step
// application tests: the free-space pass over every step, the steps one by one, the whole files of
// "ALL\", then the uninstall log; with a journal, so that an interrupted run can be completed by
// running it again.

#include <cstdio>
#include <string>

#include "install/uninstallLog.h"
#include "support/currentRunMessages.h"
#include "patch/patchStore.h"
#include "patch/stepApplication.h"
#include "patch/stepJournal.h"

namespace steppatch {

struct RunResult {
  bool roomChecked = false;  // PrepareSteps found room on every step
  bool stepsApplied = false;
  bool wholeFilesCopied = false;
  std::string failedFile;
};

inline void Collect(patch::PatchJob& job, const char* prefix, bool versioned) {
  job.prefix = prefix;
  job.names.Clear();
  patch::CollectEntries(job);
  patch::SelectForDistribution(job.names, job.distributions, versioned);
}

// Brings the installation at `destination` (ending with a separator) from 1.<fromMinor> to
// 1.<toMinor>. With `journal`, the run records its progress beside the installation and a rerun takes
// the version it started from out of the journal.
inline RunResult RunUpdate(patch::EntrySource& store, const std::string& destination, int fromMinor, int toMinor,
                           bool journal = true) {
  RunResult result;
  testsupport::UninstallList().Clear();
  patch::StepJournal record;
  patch::PatchJob job = testsupport::JobAsInRun();
  job.store = &store;
  job.destination = destination.c_str();
  if (journal) {
    if (!record.Open(patch::StepJournal::PathIn(destination))) return result;
    const std::string started = record.Value("from");
    if (!started.empty()) fromMinor = std::atoi(started.c_str());
    if (started.empty() && !record.SetValue("from", std::to_string(fromMinor))) return result;
    job.journal = &record;
  }
  std::uint64_t total = 0;
  char prefix[16];
  for (int minor = fromMinor; minor < toMinor; ++minor) {
    std::snprintf(prefix, sizeof prefix, "1.%02d-", minor);
    Collect(job, prefix, true);
    if (!patch::PrepareSteps(job, &total)) return result;
  }
  result.roomChecked = true;
  for (int minor = fromMinor; minor < toMinor; ++minor) {
    std::snprintf(prefix, sizeof prefix, "1.%02d-", minor);
    Collect(job, prefix, true);
    job.sourceMajor = job.targetMajor = 1;
    job.sourceMinor = minor;
    job.targetMinor = minor + 1;
    if (!patch::ApplyStep(job)) {
      result.failedFile = job.failedFile.Data();
      return result;
    }
  }
  result.stepsApplied = true;
  Collect(job, "ALL\\", false);
  job.sourceMinor = job.targetMinor = toMinor;
  patch::CopyWholeFiles(job);
  if (job.failed) {
    result.failedFile = job.failedFile.Data();
    return result;
  }
  result.wholeFilesCopied = true;
  if (!journal || record.Value("uninstall log") != "written") {
    install::WriteUninstallLog(testsupport::UninstallList(), destination.c_str());
    if (journal && !record.SetValue("uninstall log", "written")) return result;
  }
  if (journal) record.Remove();
  return result;
}

}  // namespace steppatch
