#pragma once
// The record of a patch run in progress, kept beside the installation, so that a run interrupted
// anywhere (a crash, a killed process, a full disk) can be completed by running the same patch again.
//
// Before a pass changes anything for an entry it records that it begins the entry and whether the
// entry's target file existed then; when the entry is finished it records the uninstall lines the
// entry produced and that it is done. A rerun finds done entries (their lines are taken over, the files
// are not touched again) and begun ones (the file is in its old or its new version; the rerun accepts
// the new one, or applies the entry again as the first run would have, with the same knowledge of
// whether the target existed). The run also records values of its own (the version it started from).
// The journal is removed when the run has written everything.
//
// Lines: "I <key> <value>", "B <0|1> <entry>", "L <uninstall line>", "D <entry>", "X" (the run went on
// after an interruption: uninstall lines not followed by their "D" are void); fields separated by a tab,
// every line ending in a tab, a full stop and a line feed. A line without that end was cut short by an
// interruption and is ignored.

#include <map>
#include <string>
#include <vector>

namespace patch {

class StepJournal {
 public:
  // The journal file of an installation folder (ending with a separator).
  static std::string PathIn(const std::string& installFolder);

  // Reads an existing journal at `path`, or starts an empty one there. False when an existing journal
  // cannot be read or is not one (the run must not guess then).
  bool Open(const std::string& path);
  // True when the journal held records of an earlier run.
  bool Resuming() const { return resuming_; }

  // A value of the run; "" when not recorded.
  std::string Value(const std::string& key) const;
  bool SetValue(const std::string& key, const std::string& value);

  // Whether `entry` was finished, with the uninstall lines it produced.
  bool IsDone(const std::string& entry, std::vector<std::string>* lines) const;
  // Whether `entry` was begun (and not finished), with whether its target existed before.
  bool IsBegun(const std::string& entry, bool* targetExisted) const;
  // Whether its target existed when `entry` was begun, finished or not; false when it never was.
  bool TargetExisted(const std::string& entry, bool* targetExisted) const;

  // The run that wrote the journal ended with a failure (not an interruption): the installation may
  // have been restored or changed since, and a run that takes it up must not trust what it records.
  bool MarkFailed() { return SetValue("state", "failed"); }
  bool Failed() const { return Value("state") == "failed"; }

  // Each record is appended and the file closed before the call returns; false when it could not be
  // written (the caller stops: without the record a rerun could not complete the entry).
  bool Begin(const std::string& entry, bool targetExisted);
  bool Done(const std::string& entry, const std::vector<std::string>& lines);

  // Deletes the journal: the run is complete. False, keeping what it records, when the file stays.
  bool Remove();

 private:
  bool Append(const std::string& text);

  std::string path_;
  bool resuming_ = false;
  bool tornLastLine_ = false;  // the file may end inside a record: the next append starts with kResume
  bool startAfresh_ = false;   // the file holds only part of the header: it is written anew
  std::map<std::string, std::string> values_;
  std::map<std::string, bool> begun_;                       // entry -> target existed
  std::map<std::string, bool> existed_;                     // every begun entry, finished or not
  std::map<std::string, std::vector<std::string>> done_;    // entry -> uninstall lines
};

}  // namespace patch
