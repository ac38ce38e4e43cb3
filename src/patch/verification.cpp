#include "patch/verification.h"

#include <cstdint>
#include <cstdio>

#include "El/Common/appFrame.h"
#include "El/QStream/crc32.h"
#include "Es/Containers/nameText.h"
#include "patch/checksumList.h"
#include "patch/knownChecksums.h"
#include "patch/patchStore.h"
#include "ui/messages.h"
#include "ui/progressText.h"
#include "ui/userInterface.h"

namespace patch {

// Reading in blocks is the fastest way through a file the checksum touches once: mapping it costs a
// page-table entry and a fault for every 4 KiB, eight times the copy (measured by verifyBench).
bool InstalledFileChecksum(const char* path, std::uint32_t* crc) {
  std::uint64_t size = 0;
  return Crc32OfFile(path, crc, &size) && size > 0;
}

namespace {

int Verify(const PatchJob& job, const std::string& fileFilter, const std::vector<std::string>& distributions,
           bool useSourceVersion, bool retryIsDefault, const WrittenChecksum* written) {
  const int major = useSourceVersion ? job.sourceMajor : job.targetMajor;
  const int minor = useSourceVersion ? job.sourceMinor : job.targetMinor;
  char listName[64];
  std::snprintf(listName, sizeof listName, "crc\\%d.%02d\\crc.crc", major, minor);
  std::string list;
  if (!job.store || !EntryText(*job.store, listName, &list)) {
    if (!fileFilter.empty()) {
      ui::AppendLog(15, fileFilter.c_str(), major, minor);
    } else {
      ui::AppendLog(13, major, minor);
    }
    return kVerified;
  }
  int ignoredLines = 0;
  const std::vector<ChecksumRecord> records = ParseChecksumList(list, fileFilter, distributions, &ignoredLines);
  if (ignoredLines > 0) ErrorMessage("%s: %d lines longer than %d characters ignored", listName, ignoredLines,
                                     static_cast<int>(kMaxChecksumLine));
  ui::UserInterface* window = ui::CurrentUserInterface();
  int result = kVerified;
  for (const ChecksumRecord& record : records) {
    const std::string path = std::string(job.destination.Data()) + record.name;
    ui::SetStatus(18, record.name.c_str());
    std::uint32_t crc = 0;
    bool readable = false;
    if (written && EqualIgnoringCase(written->path, path)) {
      crc = written->crc;
      readable = written->size > 0;
    } else {
      readable = InstalledFileChecksum(path.c_str(), &crc);
    }
    if (!readable) {
      if (job.known) job.known->Forget(path);
      if (record.tolerated) continue;
      ui::AppendLog(10, record.name.c_str());
      result = kVerifyFailed;
      break;
    }
    if (job.known) job.known->Record(path, crc);
    bool good = false;
    for (std::uint32_t expected : record.checksums) good = good || expected == crc;
    if (!good && record.tolerated) {
      ui::AppendLog(20, record.name.c_str(), record.checksums[0], crc);
    } else if (!good) {
      ui::AppendLog(12, record.name.c_str(), record.checksums[0], crc);
      const int answer = ui::AskAbortRetryIgnore(retryIsDefault, 12, record.name.c_str(), record.checksums[0], crc);
      if (answer == ui::kAbort) {
        result = kVerifyFailed;
        break;
      }
      if (answer == ui::kRetry) {
        ui::SetStatusText("");
        return kVerifyRetry;
      }
      if (job.known) job.known->Accept(path, crc);
    }
    if (window->WindowClosed()) break;
  }
  ui::SetStatusText("");
  return result;
}

}  // namespace

bool VerifyReachedVersion(const PatchJob& job, const std::vector<std::string>& distributions, std::string* failedFile) {
  char listName[64];
  std::snprintf(listName, sizeof listName, "crc\\%d.%02d\\crc.crc", job.targetMajor, job.targetMinor);
  std::string list;
  if (!job.store || !EntryText(*job.store, listName, &list)) {
    ui::AppendLog(13, job.targetMajor, job.targetMinor);
    *failedFile = UpperAscii(listName);
    return false;
  }
  bool good = true;
  for (const ChecksumRecord& record : ParseChecksumList(list, "", distributions)) {
    const std::string path = std::string(job.destination.Data()) + record.name;
    std::uint32_t crc = 0;
    bool readable = job.known && job.known->Find(path, &crc);
    if (!readable) {
      ui::SetStatus(18, record.name.c_str());
      readable = InstalledFileChecksum(path.c_str(), &crc);
    }
    bool matches = false;
    for (std::uint32_t expected : record.checksums) matches = matches || expected == crc;
    if (readable && matches) continue;
    if (record.tolerated) {
      if (readable) ui::AppendLog(20, record.name.c_str(), record.checksums[0], crc);
      continue;
    }
    if (readable && job.known && job.known->Accepted(path, crc)) {
      ui::AppendLog(20, record.name.c_str(), record.checksums[0], crc);  // the user chose to keep it
      continue;
    }
    if (readable) {
      ui::AppendLog(12, record.name.c_str(), record.checksums[0], crc);
    } else {
      ui::AppendLog(10, record.name.c_str());
    }
    if (good) *failedFile = record.name;
    good = false;
  }
  ui::SetStatusText("");
  return good;
}

int VerifyInstallation(const PatchJob& job, const std::string& fileFilter,
                       const std::vector<std::string>& distributions, bool useSourceVersion, bool retryIsDefault) {
  return Verify(job, fileFilter, distributions, useSourceVersion, retryIsDefault, nullptr);
}

int VerifyWrittenFile(const PatchJob& job, const std::string& fileFilter, const std::vector<std::string>& distributions,
                      bool useSourceVersion, bool retryIsDefault, const WrittenChecksum& written) {
  return Verify(job, fileFilter, distributions, useSourceVersion, retryIsDefault, &written);
}

}  // namespace patch
