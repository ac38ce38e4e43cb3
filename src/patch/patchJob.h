#pragma once
// The working record of one pass over a group of payload entries: the versions it moves between, the
// group's prefix, the folder relative paths resolve into, the entries it collected and what came of it.
// Copied by value when a nested pass needs its own destination; the texts and the name list are shared
// by reference count or copied.

#include <cstdint>
#include <string>
#include <vector>

#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"
#include "patch/runInterface.h"

namespace patch {

class ChecksumListCache;
class EntrySource;
class KnownChecksums;
class StepJournal;

struct PatchJob {
  std::int32_t sourceMajor = 0, sourceMinor = 0;  // the version the installation has before the pass
  std::int32_t targetMajor = 0, targetMinor = 0;  // the version the pass leads to
  RefString prefix;       // group prefix of the pass ("1.05-", "ALL\", "TMP\"), compared ignoring case
  RefString destination;  // folder relative paths resolve into, ending with a backslash
  RefString failedFile;   // relative path of the file at which the pass stopped
  EntrySource* store = nullptr;  // the patch store the entries come from
  bool failed = false;    // the pass stopped on an error
  bool applied = false;   // a pass found work
  RefString distribution; // the installation's distribution, "" when there is none
  DynArray<RefString> names;  // the collected entry names
  RefString subfolder;    // when set, updated files go to destination + subfolder + "\"
  // The installation's acceptable distributions, most preferred first: the written files are checked
  // against the checksum lines of the distribution they were written for.
  std::vector<std::string> distributions;
  // Where the passes record what they begin and finish, so that an interrupted run can be completed;
  // null: not recorded.
  StepJournal* journal = nullptr;
  // Taking up a run that failed: the entries its journal calls done are checked again like begun ones
  // (their files may have been restored since), never taken as they are.
  bool recheckDone = false;
  // Where verification and the written files leave the checksums they computed, for the check at the
  // end of the run; null: not kept.
  KnownChecksums* known = nullptr;
  // The run's checksum lists, each parsed once; null: a verification, a step or a whole-file pass parses
  // each list it needs once for itself.
  ChecksumListCache* lists = nullptr;
  // What the pass shows and asks; never null.
  RunInterface* ui = SilentRunInterface();
  // The run's uninstall list, which the pass adds the files and folders it creates to; null: not kept.
  DynArray<RefString>* uninstall = nullptr;
  // The carried delta tool, written out and checked by the run, for deltas the linked decoder declines;
  // "" when the patch carries none.
  std::string deltaTool;
};

}  // namespace patch
