#pragma once
// Checksum lists from installation trees: one line per file, "NAME CRC" with the name as the
// installation spells it (backslashes) and the CRC-32 as eight lower-case hexadecimal digits, written
// to PAYLOAD\CRC\<version>\CRC.CRC.
//
// With several distributions (a tree each), a file that every tree has with the same checksum gets one
// line without a suffix; any other file gets a line per tree that has it, "NAME.#TAG CRC". Files that
// match a tolerate pattern get a leading "+". So do empty files: the patch program counts a file of 0
// bytes as missing, so a required empty file could never verify.

#include <string>
#include <vector>

namespace make {

struct ChecksumTree {
  std::string root;
  std::string distribution;  // "" with a single tree meant for every distribution
};

struct ChecksumReport {
  int files = 0;
  int lines = 0;
  int tolerated = 0;
  int emptyFiles = 0;
  std::vector<std::string> problems;
};

// The list's text for `trees` (at least one; with several, each needs a distinct tag).
bool ChecksumListText(const std::vector<ChecksumTree>& trees, const std::vector<std::string>& toleratePatterns,
                      std::string* text, ChecksumReport* report);

// ChecksumListText written to <payload>/CRC/<version>/CRC.CRC (a temporary file renamed into place).
bool WriteChecksumList(const std::vector<ChecksumTree>& trees, const std::string& version,
                       const std::vector<std::string>& toleratePatterns, const std::string& payload,
                       ChecksumReport* report);

// Writes `bytes` to `path` through a temporary file beside it, renamed over it once complete.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error);
// Reads a whole file (at most `limit` bytes). False when it cannot be read or is larger.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::uint64_t limit = 64u << 20);

}  // namespace make
