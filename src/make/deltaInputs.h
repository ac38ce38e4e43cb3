#pragma once
// The proof that a delta may be reused: for every delta of a payload folder, the sizes and SHA-256
// digests of the two files it was made from and of the delta itself, kept in "<payload>.inputs" beside
// the folder (never inside it: every file below the payload folder becomes a patch entry).
//
// A delta is reused only when the record holds it with the digests of the two files it would be made
// from now, and the delta file is still the one recorded. Times and sizes prove nothing: a file
// rewritten with other bytes of the same size can keep its time (a copy that preserves times, an
// unpacked archive). A missing, unreadable or damaged record only costs time: every delta it cannot
// prove is made again.
//
// The file is text: a header line, then one line per delta,
//
//   zrmake delta inputs 1
//   <delta size> <delta digest> <old size> <old digest> <new size> <new digest> <entry>
//
// sizes in decimal, digests as 64 lower-case hexadecimal digits, the entry as spelled below the
// payload folder with backslashes ("1.05-1.06\Data\Map.pak.upd.#GERMAN"). Each delta made is appended
// at once, so a run that is killed keeps the record of every delta it finished. A later line for an
// entry (compared without regard to case) replaces an earlier one; only lines that end with a line
// feed count, so a line torn by a kill proves nothing. Compact() rewrites the file with one line for
// each delta that is still there.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/digest.h"

namespace make {

constexpr const char* kDeltaInputsHeader = "zrmake delta inputs 1";
constexpr const char* kDeltaInputsSuffix = ".inputs";
// Lines longer than this are not ours and are skipped; files larger than this are not read.
constexpr std::size_t kMaxDeltaInputsLine = 1024;
constexpr std::uint64_t kMaxDeltaInputsFile = 64u << 20;

struct FileDigest {
  std::uint64_t size = 0;
  platform::Sha256Digest digest{};
  bool operator==(const FileDigest& other) const { return size == other.size && digest == other.digest; }
  bool operator!=(const FileDigest& other) const { return !(*this == other); }
};

// The size and digest of a file read through the file-system seam; false when it cannot be read.
bool DigestFile(const char* path, FileDigest* digest);

struct RecordedDelta {
  std::string entry;  // below the payload folder, as spelled, with backslashes
  FileDigest delta, oldFile, newFile;
};

// One line of the record, with its line feed.
std::string DeltaInputsLine(const RecordedDelta& delta);

// Reads a record's text into `deltas` (keyed by the upper-case entry). False when the text does not
// start with the header line: it then proves nothing and `deltas` stays empty. Lines that do not parse
// are skipped. *endsWithLineFeed tells whether an append may follow the text directly.
bool ParseDeltaInputs(const std::string& text, std::map<std::string, RecordedDelta>* deltas,
                      bool* endsWithLineFeed = nullptr);

// Where the record of the payload folder `payload` lives: beside it, its name + ".inputs".
std::string DeltaInputsPath(const std::string& payload);

// The record of one payload folder while a diff runs. Proves and Remember may be called from several
// threads at once.
class DeltaInputRecord {
 public:
  // Reads the record beside `payload` (a missing or unreadable one holds nothing).
  explicit DeltaInputRecord(const std::string& payload);
  DeltaInputRecord(const DeltaInputRecord&) = delete;
  DeltaInputRecord& operator=(const DeltaInputRecord&) = delete;

  // True when the delta at `deltaPath` (below the payload folder) is recorded as made from files with
  // exactly these sizes and digests, and the delta file's own size and digest are the recorded ones.
  bool Proves(const std::string& deltaPath, const FileDigest& oldFile, const FileDigest& newFile);
  // Records the delta just made at `deltaPath` from files with these digests (taken before the delta
  // tool ran), appending its line to the file. False when the delta cannot be read or the line cannot be
  // written; the delta is then simply made again next time.
  bool Remember(const std::string& deltaPath, const FileDigest& oldFile, const FileDigest& newFile);
  // Rewrites the file with one line per entry whose delta file still exists (lines appended meanwhile
  // by another run on the same folder are kept). False, with the reason, when it cannot be written.
  bool Compact(std::string* error);

  const std::string& Path() const { return path_; }

 private:
  bool EntryOf(const std::string& deltaPath, std::string* entry) const;

  std::string payload_;  // without trailing separators
  std::string path_;
  std::mutex lock_;
  std::map<std::string, RecordedDelta> deltas_;
  bool fileHasHeader_ = false;
  bool endsWithLineFeed_ = true;
};

}  // namespace make
