#pragma once
// A look into a patch executable as the patch program will see it: its entries by group with their
// sizes, the key in its slot with the fingerprint, whether the manifest's signature holds, the manifest
// as text, and the patch's consistency. Each problem is a line that starts with the entry's name.
//
// Consistency: every name is a payload name the program understands; the manifest and its signature
// are there and the signature holds; the payload table's signature holds and every entry has the size
// and digest it lists (each entry that does not is named); each version step has the checksum list of the version it leads
// to, and no step leads past the manifest's version; every ".UPD" entry starts like a VCDIFF delta
// (D6 C3 C4 00) and the delta tool is carried when there is one; markers hold their one byte; a file
// has one entry per step and distribution; each distribution tag of an entry or a checksum line is
// one the manifest declares; checksum lists end with a line feed and keep lines within 1023 characters.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace make {

struct InspectedEntry {
  std::string name;
  std::uint64_t size = 0;
};

struct InspectedGroup {
  std::string title;
  std::vector<InspectedEntry> entries;
  std::uint64_t bytes = 0;
};

struct InspectReport {
  std::vector<InspectedGroup> groups;
  int entries = 0;
  std::string fingerprint;
  bool signatureValid = false;
  bool payloadTable = false;     // the patch carries the payload table
  bool payloadVerified = false;  // its signature holds and every entry matches it
  int tableEntries = 0;          // entries whose digest matched
  std::string manifestText;
  std::vector<std::string> problems;
  std::vector<std::string> notes;  // what is worth knowing but not wrong
};

// The checks of one checksum list's text (entry `name`): a last line without line feed, lines over
// 1023 characters, names outside the installation, distribution tags the manifest does not declare
// (`declared`: upper-case tags; only checked when `haveDistributions`).
void CheckChecksumListText(const std::string& name, const std::string& text, const std::set<std::string>& declared,
                           bool haveDistributions, std::vector<std::string>* problems);

// Inspects the patch at `path`. `pinnedKeyFile` (may be empty): a public key blob the slot must hold. False when there is any problem.
bool InspectPatch(const std::string& path, const std::string& pinnedKeyFile, InspectReport* report);

// The manifest's text as the writer gives it, with every integer value or array named "crc" (ignoring
// case) shown as unsigned hexadecimal ("crc=0x89473587;"), the way checksums are written by hand.
std::string ChecksumsInHex(const std::string& text);

}  // namespace make
