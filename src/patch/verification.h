#pragma once
// Verifying an installation, or one file of it, against the checksum list of a version.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "patch/patchJob.h"

namespace patch {

enum VerifyResult { kVerifyFailed = 0, kVerified = 1, kVerifyRetry = 2 };

// Checks the files of job.destination against the store's list "CRC\<major>.<minor>\CRC.CRC" of the
// job's source version (`useSourceVersion`) or target version. `fileFilter` narrows the check to one
// relative path; `distributions` (the acceptable tags, most preferred first; empty accepts every
// suffix) narrows the list to the installation's distribution. Progress, warnings and errors go to the
// progress window; a mismatch of a required file asks Abort/Retry/Ignore.
//
// kVerified: verified, or no list, or every mismatch ignored, or the window closed by the user.
// kVerifyFailed: a required file missing or unreadable, or Abort. kVerifyRetry: Retry on a mismatch
// (the caller rewrites the file and verifies again).
int VerifyInstallation(const PatchJob& job, const std::string& fileFilter,
                       const std::vector<std::string>& distributions, bool useSourceVersion, bool retryIsDefault);

// The verification before a run that takes up a failed one: the installation may hold any of the
// versions the failed run went through, file by file. Every file listed for one of `versions` (major,
// minor: the version that run started from first, then each one its steps reach) must have a checksum
// one of those lists gives it; a missing file fails only when every list requires it. The messages,
// questions and results of VerifyInstallation.
int VerifyAgainstVersions(const PatchJob& job, const std::vector<std::pair<int, int>>& versions,
                          const std::vector<std::string>& distributions);

// A file whose checksum was computed while it was written, so that verifying it need not read it back.
struct WrittenChecksum {
  std::string path;  // the full path as the checks build it: job.destination + the list's name
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
};

// VerifyInstallation for a file just written: the same checks, results and messages, with the
// checksum of `written` taken as the file's (a file of 0 bytes counts as missing, as on disk). The file
// may still be a temporary one; `written.path` is where it is going. *ignored (may be null) tells that
// the result is kVerified only because the user chose Ignore on a mismatch.
int VerifyWrittenFile(const PatchJob& job, const std::string& fileFilter, const std::vector<std::string>& distributions,
                      bool useSourceVersion, bool retryIsDefault, const WrittenChecksum& written,
                      bool* ignored = nullptr);

// A listed file that is not as its list says.
struct FileProblem {
  std::string name;   // the relative path as the list gives it
  bool missing = false;  // missing, unreadable or empty; else its checksum differs
  std::uint32_t expected = 0;  // the first checksum the list gives
  std::uint32_t found = 0;     // the file's (0 when missing)
};

// The last check of a run before it reports success: every file of the list of the job's target
// version in job.destination, narrowed to `distributions`. A checksum in job.known is taken as the
// file's; every other file is read. Nothing is asked: each required file that is missing or differs is
// logged (messages 10 and 12) and the check fails, *failedFile naming the first; a tolerated file, or
// a difference the user accepted earlier in the run, only warns (message 20). A missing list fails too
// (message 13): without it the result cannot be proven.
// `problems` (may be null) receives every required file that is missing or differs, in list order;
// `checked` (may be null) the number of files the list names.
bool VerifyReachedVersion(const PatchJob& job, const std::vector<std::string>& distributions, std::string* failedFile,
                          std::vector<FileProblem>* problems = nullptr, int* checked = nullptr);

// The checksum of an installed file, read once in large blocks; false when the file cannot be opened
// or read, or is empty (a file of 0 bytes counts as missing).
bool InstalledFileChecksum(const char* path, std::uint32_t* crc);

}  // namespace patch
