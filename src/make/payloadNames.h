#pragma once
// The families of payload entry names, told apart for the publisher's checks: a pack refuses, and an
// inspection reports, any name the patch program would not understand.
//
//   1.05-1.06\DATA\MAP.PAK.UPD[.#TAG]   versioned entry (actions UPD, NEW, EQU, DEL, INI)
//   ALL\..., ADD\..., TMP\...            whole-file, addon and temporary entries
//   1.05\DATA\MAP.PAK[.#TAG]            installed-version entry
//   CRC\1.05\CRC.CRC                     checksum list
//   VERSION.CFG, VERSION.CFG.SIGN        the manifest and its signature
//   XDELTA3.EXE                          the delta tool
//   PAYLOAD.TABLE, PAYLOAD.TABLE.SIGN    the signed table of every other entry's size and digest

#include <cstddef>
#include <string>

namespace make {

constexpr std::size_t kMaxEntryName = 511;

enum class EntryFamily { Versioned, WholeFile, Addon, Temporary, InstalledVersion, ChecksumList, Manifest, Signature, DeltaTool,
                         PayloadTable };

struct EntryNameInfo {
  EntryFamily family = EntryFamily::WholeFile;
  std::string from, to;        // versions of a step ("1.05", "1.06"); `from` alone for installed-version and CRC
  std::string action;          // ".UPD", ... for versioned entries
  std::string distribution;    // the tag after ".#", as written
  std::string relativePath;    // below the group, without action and distribution suffixes
};

// Classifies an upper-case entry name (backslashes). "" when it is a legal name, else the reason.
std::string ClassifyEntryName(const std::string& name, EntryNameInfo* info);

// A short name of the family, for listings ("step 1.05-1.06", "whole files", ...).
std::string FamilyTitle(const EntryNameInfo& info);

}  // namespace make
