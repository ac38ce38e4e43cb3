#pragma once
// One version step's payload from two installation trees: every file of either tree is compared and
// gets its entry below PAYLOAD\<from>-<to>\ (a delta, a marker or a copy; see createPatch.h), named
// like the file with the action suffix and, for a distribution's own entries, ".#TAG" after it.
// Files are paired without regard to case (a name that changes only in case is one file on Windows).
// Encodings run in parallel on `jobs` threads, the largest files first; a delta is kept only when the
// payload folder's record ("<payload>.inputs", see deltaInputs.h) proves it was made from the two files
// it would be made from now. Entries of this step and distribution that no longer belong to any file (left by an earlier
// run on other trees) are removed, so the folder holds exactly the step's entries.

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "make/createPatch.h"

namespace make {

struct DiffOptions {
  std::string oldTree;
  std::string newTree;
  std::string fromVersion;  // "1.05"
  std::string toVersion;    // "1.06"
  std::string payload;      // the payload folder; the step's entries go below <from>-<to>
  bool carryNewFiles = false;
  std::string distribution;  // "" for entries meant for every distribution
  int jobs = 0;              // threads; 0 or less: one per processor core
  std::string encoder = kDefaultEncoder;
  // Only these relative paths (compared ignoring case); empty: every file of both trees.
  std::vector<std::string> only;
  // Called after each file, from any of the threads, one call at a time.
  std::function<void(std::uint64_t doneBytes, std::uint64_t totalBytes, const std::string& name)> progress;
};

struct DiffReport {
  int files = 0;
  int deltas = 0, identical = 0, added = 0, deleted = 0, upToDate = 0, removedStale = 0;
  std::uint64_t bytes = 0;  // of both trees' files
  std::vector<std::string> problems;  // one line each; the step failed when there is any
  std::vector<std::string> warnings;  // the step's entries are right, but something deserves a look
  std::vector<std::string> written;   // the entries of this run, upper-case, below the step's folder
};

// A version text in the form the entry names use ("1.06"): digits, a full stop, two digits. False
// for anything else ("1.6" is refused rather than guessed).
bool NormalizeVersion(const std::string& text, std::string* version);

// The number of threads that "all cores" means here.
int ProcessorCount();

bool DiffTrees(const DiffOptions& options, DiffReport* report);

// Removes the entry files below `stepFolder` (and temporary files of interrupted encodings) that are
// not in `expected` (upper-case names below the folder). With `onlySuffix` (".#TAG" or "" for the
// common entries) only entries of that distribution are touched. Returns how many were removed.
int RemoveStaleEntries(const std::string& stepFolder, const std::set<std::string>& expected, const std::string* onlySuffix);

// Creates every folder on the way to `folder` (either separator). False when one cannot be made.
bool CreateFolders(const std::string& folder);

}  // namespace make
