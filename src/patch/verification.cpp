#include "patch/verification.h"

#include <cstdint>
#include <cstdio>
#include <map>

#include "El/Common/appFrame.h"
#include "El/QStream/crc32.h"
#include "Es/Containers/nameText.h"
#include "patch/checksumList.h"
#include "patch/checksumListCache.h"
#include "patch/knownChecksums.h"
#include "patch/patchStore.h"
#include "pe/nameCase.h"
#include "platform/fileSystem.h"

namespace patch {

// Reading in blocks is the fastest way through a file the checksum touches once: mapping it costs a
// page-table entry and a fault for every 4 KiB, eight times the copy (measured by verifyBench).
bool InstalledFileChecksum(const char* path, std::uint32_t* crc) {
  std::uint64_t size = 0;
  return Crc32OfFile(path, crc, &size) && size > 0;
}

namespace {

// Where a listed file of the installation is: in subfolder mode the subfolder's copy when there is one
// (the patch wrote it), else the main folder's.
std::string InstalledPath(const PatchJob& job, const std::string& name) {
  const std::string destination = job.destination.Data();
  const std::string subfolder = job.subfolder.Data();
  if (!subfolder.empty()) {
    const std::string copy = destination + subfolder + "\\" + name;
    bool isFolder = false;
    if (platform::CurrentFileSystem()->Exists(copy.c_str(), &isFolder) && !isFolder) return copy;
  }
  return destination + name;
}

// Each record's file in job.destination against its checksums, as the verification does it: a missing
// required file fails, a mismatch of a required one asks.
int CheckRecords(const PatchJob& job, const std::vector<ChecksumRecord>& records, bool retryIsDefault,
                 const WrittenChecksum* written, bool* ignored) {
  RunInterface& ui = *job.ui;
  int result = kVerified;
  for (const ChecksumRecord& record : records) {
    const std::string path = InstalledPath(job, record.name);
    ui.ShowVerifying(record.name);
    std::uint32_t crc = 0;
    bool readable = false;
    if (written && pe::SameNameUpperCased(written->path, path)) {
      crc = written->crc;
      readable = written->size > 0;
    } else {
      readable = InstalledFileChecksum(path.c_str(), &crc);
    }
    if (!readable) {
      if (job.known) job.known->Forget(path);
      if (record.tolerated) continue;
      ui.LogMissingFile(record.name);
      result = kVerifyFailed;
      break;
    }
    if (job.known) job.known->Record(path, crc);
    bool good = false;
    for (std::uint32_t expected : record.checksums) good = good || expected == crc;
    if (!good && record.tolerated) {
      ui.LogDamagedFile(record.name, record.checksums[0], crc, true);
    } else if (!good) {
      ui.LogDamagedFile(record.name, record.checksums[0], crc, false);
      const int answer = ui.AskDamagedFile(retryIsDefault, record.name, record.checksums[0], crc);
      if (answer == kAnswerAbort) {
        result = kVerifyFailed;
        break;
      }
      if (answer == kAnswerRetry) {
        ui.ShowStatus("");
        return kVerifyRetry;
      }
      if (job.known) job.known->Accept(path, crc);
      if (ignored) *ignored = true;
    }
    if (ui.WindowClosed()) break;
  }
  ui.ShowStatus("");
  return result;
}

// The run's parsed lists, or `local` for a verification made outside a run: a list is parsed once
// for all the files checked against it, never once per file.
ChecksumListCache& ListsOf(const PatchJob& job, ChecksumListCache& local) { return job.lists ? *job.lists : local; }

// The records a verification checks: the whole list of a version, or the record of one file (in
// `one`, empty when the list does not name the file). Null when the store has no list of that version.
const std::vector<ChecksumRecord>* RecordsToCheck(const PatchJob& job, ChecksumListCache& lists, int major, int minor,
                                                  const std::string& fileFilter,
                                                  const std::vector<std::string>& distributions,
                                                  std::vector<ChecksumRecord>* one) {
  if (!job.store) return nullptr;
  std::string listName;
  const std::vector<ChecksumRecord>* all = lists.Records(*job.store, major, minor, distributions, &listName);
  if (!all || fileFilter.empty()) return all;
  const ChecksumRecord* record = lists.Find(*job.store, major, minor, distributions, fileFilter, &listName);
  one->clear();
  if (record) one->push_back(*record);
  return one;
}

int Verify(const PatchJob& job, const std::string& fileFilter, const std::vector<std::string>& distributions,
           bool useSourceVersion, bool retryIsDefault, const WrittenChecksum* written, bool* ignored) {
  if (ignored) *ignored = false;
  const int major = useSourceVersion ? job.sourceMajor : job.targetMajor;
  const int minor = useSourceVersion ? job.sourceMinor : job.targetMinor;
  ChecksumListCache local;
  std::vector<ChecksumRecord> one;
  const std::vector<ChecksumRecord>* records =
      RecordsToCheck(job, ListsOf(job, local), major, minor, fileFilter, distributions, &one);
  if (!records) {
    if (!fileFilter.empty()) {
      job.ui->LogNoChecksumLine(fileFilter, major, minor);
    } else {
      job.ui->LogNoChecksumList(major, minor);
    }
    return kVerified;
  }
  return CheckRecords(job, *records, retryIsDefault, written, ignored);
}

}  // namespace

int VerifyAgainstVersions(const PatchJob& job, const std::vector<std::pair<int, int>>& versions,
                          const std::vector<std::string>& distributions) {
  // Per file, every checksum any of the versions gives it; missing is fine unless every version's list
  // requires the file, the first one included.
  std::vector<ChecksumRecord> merged;
  std::map<std::string, std::size_t> byName;
  std::map<std::string, int> requiredIn;
  ChecksumListCache local;
  ChecksumListCache& parsed = ListsOf(job, local);
  int lists = 0;
  for (const auto& [major, minor] : versions) {
    const std::vector<ChecksumRecord>* records = RecordsToCheck(job, parsed, major, minor, "", distributions, nullptr);
    if (!records) continue;
    ++lists;
    for (const ChecksumRecord& record : *records) {
      const std::string key = pe::UpperName(record.name);
      const auto found = byName.find(key);
      if (found == byName.end()) {
        byName[key] = merged.size();
        merged.push_back(record);
      } else {
        ChecksumRecord& known = merged[found->second];
        known.checksums.insert(known.checksums.end(), record.checksums.begin(), record.checksums.end());
      }
      if (!record.tolerated) ++requiredIn[key];
    }
  }
  if (lists == 0) {
    job.ui->LogNoChecksumList(job.sourceMajor, job.sourceMinor);
    return kVerified;
  }
  for (ChecksumRecord& record : merged) {
    if (requiredIn[pe::UpperName(record.name)] < lists) record.tolerated = true;
  }
  return CheckRecords(job, merged, false, nullptr, nullptr);
}

bool VerifyReachedVersion(const PatchJob& job, const std::vector<std::string>& distributions, std::string* failedFile,
                          std::vector<FileProblem>* problems, int* checked) {
  ChecksumListCache local;
  const std::vector<ChecksumRecord>* listed =
      RecordsToCheck(job, ListsOf(job, local), job.targetMajor, job.targetMinor, "", distributions, nullptr);
  if (!listed) {
    job.ui->LogNoChecksumList(job.targetMajor, job.targetMinor);
    char listName[64];
    std::snprintf(listName, sizeof listName, "CRC\\%d.%02d\\CRC.CRC", job.targetMajor, job.targetMinor);
    *failedFile = listName;
    return false;
  }
  const std::vector<ChecksumRecord>& records = *listed;
  bool good = true;
  if (checked) *checked = static_cast<int>(records.size());
  for (const ChecksumRecord& record : records) {
    const std::string path = InstalledPath(job, record.name);
    std::uint32_t crc = 0;
    bool readable = job.known && job.known->Find(path, &crc);
    if (!readable) {
      job.ui->ShowVerifying(record.name);
      readable = InstalledFileChecksum(path.c_str(), &crc);
    }
    bool matches = false;
    for (std::uint32_t expected : record.checksums) matches = matches || expected == crc;
    if (readable && matches) continue;
    if (record.tolerated) {
      if (readable) job.ui->LogDamagedFile(record.name, record.checksums[0], crc, true);
      continue;
    }
    if (readable && job.known && job.known->Accepted(path, crc)) {
      job.ui->LogDamagedFile(record.name, record.checksums[0], crc, true);  // the user chose to keep it
      continue;
    }
    if (readable) {
      job.ui->LogDamagedFile(record.name, record.checksums[0], crc, false);
    } else {
      job.ui->LogMissingFile(record.name);
    }
    if (good) *failedFile = record.name;
    good = false;
    if (problems) problems->push_back({record.name, !readable, record.checksums[0], readable ? crc : 0});
  }
  job.ui->ShowStatus("");
  return good;
}

int VerifyInstallation(const PatchJob& job, const std::string& fileFilter,
                       const std::vector<std::string>& distributions, bool useSourceVersion, bool retryIsDefault) {
  return Verify(job, fileFilter, distributions, useSourceVersion, retryIsDefault, nullptr, nullptr);
}

int VerifyWrittenFile(const PatchJob& job, const std::string& fileFilter, const std::vector<std::string>& distributions,
                      bool useSourceVersion, bool retryIsDefault, const WrittenChecksum& written, bool* ignored) {
  return Verify(job, fileFilter, distributions, useSourceVersion, retryIsDefault, &written, ignored);
}

}  // namespace patch
