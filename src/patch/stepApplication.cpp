#include "patch/stepApplication.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "Es/Containers/nameText.h"
#include "install/pathFolders.h"
#include "patch/applyPatch.h"
#include "patch/checksumListCache.h"
#include "patch/entryNames.h"
#include "patch/knownChecksums.h"
#include "patch/patchStore.h"
#include "patch/stepJournal.h"
#include "patch/verification.h"
#include "platform/fileSystem.h"

namespace patch {
namespace {

constexpr std::uint64_t kSpaceMargin = 10485760;  // 10 MiB beyond each file's needs

bool FileExists(const std::string& path, std::uint64_t* size = nullptr) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  const platform::FileHandle file = files->OpenRead(path.c_str());
  if (!platform::IsValidFile(file)) return false;
  std::uint64_t length = 0;
  const bool sized = files->Size(file, &length);
  files->Close(file);
  if (size) *size = sized ? length : 0;
  return true;
}

std::string WithoutExtension(const std::string& path) {
  const std::size_t extension = ExtensionStart(path);
  return extension == std::string::npos ? path : path.substr(0, extension);
}

// A versioned entry's name after the group prefix: "<major>.<minor>\<relative path>". False for names
// of another shape.
bool ParseStepName(const std::string& name, std::size_t prefixLength, int* major, int* minor, std::string* relative) {
  const std::string rest = name.substr(prefixLength < name.size() ? prefixLength : name.size());
  int consumed = 0;
  if (std::sscanf(rest.c_str(), "%d.%d%n", major, minor, &consumed) != 2) return false;
  const std::size_t end = static_cast<std::size_t>(consumed);
  if (end >= rest.size() || rest[end] != '\\') return false;
  *relative = rest.substr(end + 1);
  return !relative->empty();
}

// The uninstall lines added since `start`: what one entry contributed.
std::vector<std::string> LinesSince(const DynArray<RefString>& list, int start) {
  std::vector<std::string> lines;
  for (int i = start; i < list.Size(); ++i) lines.push_back(list[i].Data());
  return lines;
}

void AddLines(DynArray<RefString>& list, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) list.Add(RefString(line.c_str()));
}

// The list a pass records created files in: the run's, or one that is thrown away.
DynArray<RefString>& UninstallListOf(PatchJob& job, DynArray<RefString>& discarded) {
  return job.uninstall ? *job.uninstall : discarded;
}

// One entry's records in the job's journal, as both passes that write files keep them: taken as the
// interrupted run finished it, begun before anything changes, done with the uninstall lines it added.
class EntryJournal {
 public:
  // Looks the entry up; the lines added to `uninstall` from here on are the entry's.
  EntryJournal(const PatchJob& job, DynArray<RefString>& uninstall, const std::string& name)
      : job_(job), uninstall_(uninstall), name_(name), firstLine_(uninstall.Size()) {
    done_ = job.journal && job.journal->IsDone(name, &doneLines_);
  }

  // A rerun takes an entry the interrupted run finished as it is, its uninstall lines included; after a
  // failed run (recheckDone) it is carried out again. True when it was taken.
  bool TakeAsDone() const {
    if (!done_ || job_.recheckDone) return false;
    AddLines(uninstall_, doneLines_);
    return true;
  }

  // Before the entry changes anything. One an earlier run began keeps what that run knew of its target
  // in *targetExisted (it may have created the target since) and sets *resumed; any other is recorded
  // as begun with *targetExisted. `journal` is null for an entry that needs no record. False when the
  // record could not be written.
  bool Begin(StepJournal* journal, bool* targetExisted, bool* resumed) const {
    *resumed = journal &&
               (journal->IsBegun(name_, targetExisted) || (done_ && journal->TargetExisted(name_, targetExisted)));
    return *resumed || !journal || journal->Begin(name_, *targetExisted);
  }

  // After the entry: "done" with the uninstall lines it added. False when the record could not be
  // written.
  bool Done(StepJournal* journal) const {
    return !journal || journal->Done(name_, LinesSince(uninstall_, firstLine_));
  }

 private:
  const PatchJob& job_;
  DynArray<RefString>& uninstall_;
  const std::string& name_;
  const int firstLine_;
  bool done_ = false;
  std::vector<std::string> doneLines_;
};

// The journal value that holds the checksum a written entry's file has once it is in place. Recorded
// before the rename, so that a rerun recognises a file the interrupted run had already replaced.
std::string WrittenKey(const std::string& entry) { return "written " + entry; }

std::string ChecksumText(std::uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
  return text;
}

// The paths of one versioned entry. D is the destination, S the subfolder, R the relative path with
// its suffixes, R'' without them.
struct StepPaths {
  std::string relative;  // R''
  std::string payload;   // where the entry is written when a file is needed (the external delta tool)
  std::string target;    // the installed file the action reads
  std::string output;    // the new content
  std::string final;     // where the output goes
  bool subfolder = false;
  bool targetFromMain = false;  // subfolder mode, and the file has no copy in the subfolder yet
};

// A job for verifying written files: the store, the folder and the version whose list applies.
PatchJob VerificationJob(const PatchJob& job, const std::string& destination, int major, int minor) {
  PatchJob verification;
  verification.store = job.store;
  verification.ui = job.ui;
  verification.known = job.known;
  verification.lists = job.lists;
  verification.destination = destination.c_str();
  verification.sourceMajor = verification.targetMajor = major;
  verification.sourceMinor = verification.targetMinor = minor;
  return verification;
}

// The lists a pass checks its written files against: the run's, or for a pass made without them its
// own, so that each list is parsed once for the pass and not once for every file it writes.
class PassLists {
 public:
  explicit PassLists(PatchJob& job) : job_(job), own_(job.lists == nullptr) {
    if (own_) job_.lists = &lists_;
  }
  ~PassLists() {
    if (own_) job_.lists = nullptr;
  }
  PassLists(const PassLists&) = delete;
  PassLists& operator=(const PassLists&) = delete;

 private:
  PatchJob& job_;
  bool own_;
  ChecksumListCache lists_;
};

void Fail(PatchJob& job, const std::string& relative) {
  job.failed = true;
  job.failedFile = relative.c_str();
}

// Builds the paths of a versioned entry; in subfolder mode the final file's folders are made first.
bool BuildPaths(const PatchJob& job, const std::string& relative, StepPaths* paths) {
  const std::string destination = job.destination.Data();
  const std::string subfolder = job.subfolder.Data();
  paths->relative = WithoutExtension(WithoutDistributionSuffix(relative));
  paths->subfolder = !subfolder.empty();
  if (!paths->subfolder) {
    paths->payload = destination + relative;
    paths->target = destination + paths->relative;
    paths->output = paths->target + ".tmp";
    return true;
  }
  const std::string inSubfolder = destination + subfolder + "\\";
  paths->payload = LowerAscii(inSubfolder + relative);
  paths->final = LowerAscii(inSubfolder + paths->relative);
  if (!install::CreatePathDirectories(paths->final.c_str(), true, job.uninstall)) return false;
  const bool inSubfolderExists = FileExists(paths->final);
  paths->targetFromMain = !inSubfolderExists;
  paths->target = inSubfolderExists ? paths->final : destination + paths->relative;
  paths->output = inSubfolderExists ? inSubfolder + paths->relative + ".tmp" : LowerAscii(inSubfolder + paths->relative + ".tmp");
  return true;
}

// The folder a step's written files are verified in: the subfolder when there is one.
std::string VerifyFolder(const PatchJob& job) {
  const std::string subfolder = job.subfolder.Data();
  return std::string(job.destination.Data()) + (subfolder.empty() ? "" : subfolder + "\\");
}

// Verifies a file of a step that is in place, against the list of the step's version.
void VerifyPlaced(PatchJob& job, int major, int minor, const StepPaths& paths) {
  const PatchJob verification = VerificationJob(job, VerifyFolder(job), major, minor);
  if (VerifyInstallation(verification, paths.relative, job.distributions, true, true) != kVerified) {
    Fail(job, paths.relative);
  }
}

// One versioned entry: the action's attempt loop, the rename into place and the verification.
void ApplyEntry(PatchJob& job, DynArray<RefString>& uninstall, const std::string& name, int major, int minor,
                const StepPaths& paths, const EntryRange& payload) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  for (bool again = true; again;) {
    again = false;
    std::unique_ptr<ApplyPatch> action(new ApplyPatch(uninstall, paths.subfolder, job.deltaTool));
    action->UsePayloadEntry(*job.store, payload);
    const std::uint32_t result = action->Apply(paths.output.c_str(), paths.payload.c_str(), paths.target.c_str(), 1);
    ReportFileProgress(*job.ui, payload.size, paths.target.c_str());
    if (result == kActionFailed) {
      job.ui->LogActionFailed(name, action->ErrorText());
      const int answer = job.ui->AskFileNotWritten(paths.relative);
      if (answer == kAnswerRetry) again = true;
      if (answer == kAnswerAbort) {
        files->Delete(paths.output.c_str());
        Fail(job, paths.relative);
      }
      continue;
    }
    if (result == kActionWritten) {
      // The new content is checked while it is still the temporary file: only a file that matches the
      // list replaces the old one. Ignore leaves the old file as it was.
      WrittenFile written;
      if (!action->OutputChecksum(&written) && !Crc32OfFile(paths.output.c_str(), &written.crc, &written.size)) {
        written = WrittenFile();
      }
      WrittenChecksum known;
      known.path = VerifyFolder(job) + paths.relative;
      known.crc = written.crc;
      known.size = written.size;
      const PatchJob verification = VerificationJob(job, VerifyFolder(job), major, minor);
      bool ignored = false;
      const int verified =
          VerifyWrittenFile(verification, paths.relative, job.distributions, true, true, known, &ignored);
      if (verified != kVerified || ignored) {
        files->Delete(paths.output.c_str());
        if (job.known) job.known->Forget(known.path);
        if (verified == kVerifyRetry) again = true;
        if (verified == kVerifyFailed) Fail(job, paths.relative);
        continue;
      }
      if (job.journal && !job.journal->SetValue(WrittenKey(name), ChecksumText(written.crc))) {
        files->Delete(paths.output.c_str());
        Fail(job, paths.relative);
        return;
      }
      // One rename replaces the old file with the complete new one; the old file is never deleted
      // first. In subfolder mode a file taken from the main folder stays there unchanged.
      if (!paths.targetFromMain) files->MakeWritable(paths.target.c_str());
      if (!files->RenameReplacing(paths.output.c_str(), paths.final.c_str())) {
        // The old file is still in place; the new content is not kept beside it.
        files->Delete(paths.output.c_str());
        if (job.known) job.known->Forget(known.path);
        Fail(job, paths.relative);
        return;
      }
    } else if (result == kActionDeleted) {
      files->Delete(paths.target.c_str());
      if (job.known) job.known->Forget(paths.target);
    } else if (result != kActionNothing) {
      Fail(job, paths.relative);
    }
  }
}

// What an interrupted attempt at an entry may have left: the payload written for the external tool,
// and the output.
void RemoveLeftovers(const StepPaths& paths) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  for (const std::string& path : {paths.payload, paths.output}) files->Delete(path.c_str());
}

// On a rerun, whether an entry the interrupted run had begun is already carried out: a deleted file is
// gone, a written one has the checksum recorded before its rename.
bool AlreadyCarriedOut(const PatchJob& job, const std::string& name, const std::string& suffix, const StepPaths& paths) {
  if (suffix == ".DEL") return !FileExists(paths.target);
  if (suffix != ".UPD" && suffix != ".NEW") return false;
  const std::string recorded = job.journal->Value(WrittenKey(name));
  std::uint32_t crc = 0;
  return !recorded.empty() && InstalledFileChecksum(paths.final.c_str(), &crc) && ChecksumText(crc) == recorded;
}

}  // namespace

std::vector<std::string> EntryTargets(const PatchJob& job, bool versioned) {
  const std::string folder = VerifyFolder(job);
  const std::size_t prefixLength = static_cast<std::size_t>(job.prefix.GetLength());
  std::vector<std::string> targets;
  for (int i = 0; i < job.names.Size(); ++i) {
    const std::string name = job.names[i].Data();
    std::string relative;
    int major = 0, minor = 0;
    if (versioned) {
      if (!ParseStepName(name, prefixLength, &major, &minor, &relative)) continue;
      relative = WithoutExtension(WithoutDistributionSuffix(relative));
    } else {
      relative = WithoutDistributionSuffix(name.substr(prefixLength < name.size() ? prefixLength : name.size()));
    }
    targets.push_back(folder + relative);
  }
  return targets;
}

void ReportFileProgress(RunInterface& ui, std::uint64_t payloadSize, const char* targetPath) {
  std::uint64_t targetSize = 0;
  if (payloadSize != 1) FileExists(targetPath, &targetSize);
  ui.Advance(payloadSize + targetSize);
}

bool PrepareSteps(PatchJob& job, std::uint64_t* total) {
  const std::string destination = job.destination.Data();
  for (int i = 0; i < job.names.Size(); ++i) {
    const std::string name = job.names[i].Data();
    int major = 0, minor = 0;
    std::string relative;
    if (!ParseStepName(name, static_cast<std::size_t>(job.prefix.GetLength()), &major, &minor, &relative)) continue;
    const std::uint64_t payloadSize = job.store ? EntrySize(*job.store, name.c_str(), job.ui) : 0;
    job.applied = true;
    const std::string target = destination + WithoutExtension(WithoutDistributionSuffix(relative));
    std::uint64_t length = 0;
    if (!FileExists(target, &length)) {
      *total += payloadSize;
      continue;
    }
    *total += payloadSize == 1 ? 1 : payloadSize + length;
    // The whole requirement in 64 bits: a file of several GiB needs that much room, on the volume that
    // holds the file (a drive may have other disks below its root, as Z: has in a Wine prefix).
    std::uint64_t freeBytes = 0;
    const std::uint64_t needed = payloadSize + 2 * length + kSpaceMargin;
    if (platform::CurrentFileSystem()->FreeSpace(target.c_str(), &freeBytes) && freeBytes < needed) {
      return false;
    }
  }
  return true;
}

bool ApplyStep(PatchJob& job) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  DynArray<RefString> discarded;
  DynArray<RefString>& uninstall = UninstallListOf(job, discarded);
  const PassLists lists(job);
  for (int i = 0; i < job.names.Size(); ++i) {
    job.applied = true;
    const std::string name = job.names[i].Data();
    int major = 0, minor = 0;
    std::string relative;
    if (!ParseStepName(name, static_cast<std::size_t>(job.prefix.GetLength()), &major, &minor, &relative)) continue;

    const EntryJournal entry(job, uninstall, name);
    if (entry.TakeAsDone()) continue;
    StepPaths paths;
    if (!BuildPaths(job, relative, &paths)) {
      Fail(job, WithoutExtension(WithoutDistributionSuffix(relative)));
      return false;
    }
    const std::string withoutTag = WithoutDistributionSuffix(relative);
    const std::size_t dot = ExtensionStart(withoutTag);
    const std::string suffix = dot == std::string::npos ? std::string() : UpperAscii(withoutTag.substr(dot));
    // In subfolder mode the main folder keeps its files: one the subfolder has no copy of is not deleted.
    const bool changesNothing = suffix == ".EQU" || suffix == ".INI" || (suffix == ".DEL" && paths.targetFromMain);
    if (changesNothing && suffix == ".DEL") continue;
    // Entries that change no file need no record: a rerun simply takes them again.
    StepJournal* journal = changesNothing ? nullptr : job.journal;
    bool targetExisted = FileExists(paths.target);
    bool resumed = false;
    if (!entry.Begin(journal, &targetExisted, &resumed)) {
      Fail(job, paths.relative);
      return false;
    }
    if (resumed) RemoveLeftovers(paths);  // what the interrupted attempt left goes
    if (!paths.subfolder) paths.final = targetExisted ? paths.target : LowerAscii(paths.target);
    job.ui->ShowStatus((paths.subfolder ? std::string(job.subfolder.Data()) + "\\" : std::string()).append(paths.relative));

    EntryRange payload;
    if (!FindEntry(*job.store, name.c_str(), &payload)) {
      ShowSystemError(*job.ui, ("resource: " + name).c_str());
      Fail(job, paths.relative);
      return false;
    }
    if (resumed && AlreadyCarriedOut(job, name, suffix, paths)) {
      ApplyPatch(uninstall, paths.subfolder, job.deltaTool).RecordCreatedFiles(paths.output.c_str(), paths.payload.c_str());
      ReportFileProgress(*job.ui, payload.size, paths.final.c_str());
      if (suffix != ".DEL") {
        VerifyPlaced(job, major, minor, paths);
      } else if (job.known) {
        job.known->Forget(paths.target);
      }
    } else {
      // An existing file keeps the spelling its name has on disk.
      std::string actualName;
      if (targetExisted && files->ActualName(paths.target.c_str(), &actualName)) {
        paths.target = paths.target.substr(0, FileNameStart(paths.target)) + actualName;
        if (!paths.subfolder) paths.final = paths.target;
      }
      ApplyEntry(job, uninstall, name, major, minor, paths, payload);
      files->Delete(paths.payload.c_str());  // written only for the external delta tool
    }
    if (job.failed) return false;
    if (!entry.Done(journal)) {
      Fail(job, paths.relative);
      return false;
    }
  }
  return true;
}

void CopyWholeFiles(PatchJob& job) {
  DynArray<RefString> discarded;
  DynArray<RefString>& uninstall = UninstallListOf(job, discarded);
  const PassLists lists(job);
  const std::string subfolder = job.subfolder.Data();
  const std::string destination = std::string(job.destination.Data()) + (subfolder.empty() ? "" : subfolder + "\\");
  const PatchJob verification = VerificationJob(job, destination, job.targetMajor, job.targetMinor);
  const std::size_t prefixLength = static_cast<std::size_t>(job.prefix.GetLength());
  for (int i = 0; i < job.names.Size() && !job.failed; ++i) {
    const std::string name = job.names[i].Data();
    const std::string afterPrefix = name.substr(prefixLength < name.size() ? prefixLength : name.size());
    const std::string relative = WithoutDistributionSuffix(afterPrefix);
    const std::string target = LowerAscii(destination + relative);
    job.ui->ShowStatus(relative);

    const EntryJournal entry(job, uninstall, name);
    if (entry.TakeAsDone()) continue;
    bool targetExisted = FileExists(target);
    bool resumed = false;
    if (!entry.Begin(job.journal, &targetExisted, &resumed)) {
      Fail(job, relative);
      return;
    }
    if (!targetExisted) uninstall.Add(RefString(("F:" + target + ".tmp").c_str()));
    // Written to the temporary file and checked there; only a matching file replaces the target.
    const std::string temporary = TemporaryFileOf(target);
    platform::FileSystem* files = platform::CurrentFileSystem();
    for (bool again = true; again;) {
      again = false;
      WrittenFile written;
      if (!WriteEntry(*job.store, name.c_str(), target.c_str(), &written, job.ui)) {
        const int answer = job.ui->AskFileNotCopied(name);
        if (answer == kAnswerRetry) again = true;
        if (answer == kAnswerAbort) Fail(job, relative);
        continue;
      }
      WrittenChecksum known;
      known.path = target;
      known.crc = written.crc;
      known.size = written.size;
      bool ignored = false;
      const int verified =
          VerifyWrittenFile(verification, afterPrefix, job.distributions, false, true, known, &ignored);
      if (verified != kVerified || ignored) {
        files->Delete(temporary.c_str());
        if (job.known) job.known->Forget(target);
        if (verified == kVerifyRetry) again = true;
        if (verified == kVerifyFailed) Fail(job, relative);
        continue;
      }
      bool isFolder = false;
      if (files->Exists(target.c_str(), &isFolder) && !isFolder) files->MakeWritable(target.c_str());
      if (!files->RenameReplacing(temporary.c_str(), target.c_str())) {
        files->Delete(temporary.c_str());
        if (job.known) job.known->Forget(target);
        Fail(job, relative);
      }
    }
    if (job.failed) return;
    if (!entry.Done(job.journal)) {
      Fail(job, relative);
      return;
    }
  }
}

}  // namespace patch
