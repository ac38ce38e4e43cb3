#include "make/patchInspector.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "El/ParamFile/paramFile.h"
#include "El/QStream/qstream.h"
#include "Es/Containers/nameText.h"
#include "app/manifest.h"
#include "app/patchKey.h"
#include "make/patchPacker.h"
#include "make/payloadNames.h"
#include "make/treeWalk.h"
#include "patch/checksumList.h"
#include "patch/entryNames.h"
#include "patch/moduleEntrySource.h"
#include "patch/patchStore.h"
#include "patch/payloadCheck.h"
#include "platform/fileSystem.h"
#include "platform/openedFile.h"
#include "platform/signature.h"

namespace make {
namespace {

// An entry as the inspection reads it: whole for the small texts it checks (the manifest, its
// signature, checksum lists), else only its first bytes.
struct Entry {
  std::string name;
  std::uint64_t size = 0;
  std::vector<std::uint8_t> bytes;
  EntryNameInfo info;

  const std::uint8_t* data() const { return bytes.data(); }
};

constexpr std::uint64_t kMaxReadWhole = 256u << 20;
constexpr std::uint64_t kHeadSize = 8;  // enough for a delta's magic number or a marker

bool ReadEntry(patch::EntrySource& store, Entry* entry, std::string* error) {
  patch::EntryRange range;
  if (!store.Find(UpperName(entry->name).c_str(), &range)) return false;
  entry->size = range.size;
  const bool whole = entry->info.family == EntryFamily::Manifest || entry->info.family == EntryFamily::Signature ||
                     entry->info.family == EntryFamily::ChecksumList;
  if (!whole) range.size = std::min(range.size, kHeadSize);
  return patch::ReadWholeEntry(store, range, kMaxReadWhole, &entry->bytes, error);
}

void CollectName(const char* name, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(name); }

int VersionNumber(const std::string& version) {
  const std::size_t dot = version.find('.');
  return dot == std::string::npos ? 0 : std::atoi(version.substr(0, dot).c_str()) * 100 + std::atoi(version.c_str() + dot + 1);
}

// The key in the executable's slot, the file read a piece at a time.
bool SlotKey(const std::string& path, const std::string& pinned, platform::KeyBlob* key, std::string* error) {
  platform::OpenedFile file;
  if (!file.Open(path.c_str(), error)) return false;
  return app::PatchTrustedKey(file, pinned.empty() ? nullptr : pinned.c_str(), key, error);
}

// One decimal integer as the text writer puts it ("-1991" or "42"), shown as unsigned hexadecimal;
// false when `text` is not one.
bool HexOfDecimal(const std::string& text, std::string* hex) {
  const std::size_t digits = text.size() > 0 && text[0] == '-' ? 1 : 0;
  if (text.size() == digits || text.size() > digits + 10 ||
      text.find_first_not_of("0123456789", digits) != std::string::npos) {
    return false;
  }
  const long long value = std::stoll(text);
  if (value < INT32_MIN || value > INT32_MAX) return false;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08x", static_cast<std::uint32_t>(static_cast<std::int32_t>(value)));
  *hex = buffer;
  return true;
}

}  // namespace

// The binary form keeps a number, not how it was spelled, and the text writer gives every integer in
// signed decimal. Checksums are 32-bit patterns that the manifest's author writes in hexadecimal, so a
// value or array of integers named "crc" (ignoring case) is shown that way; it reads back as the same
// number.
std::string ChecksumsInHex(const std::string& text) {
  std::string shown;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(at, end - at);
    at = end;
    const std::size_t start = line.find_first_not_of('\t');
    const std::size_t close = line.rfind(';');
    const std::string name = start == std::string::npos ? std::string() : UpperAscii(line.substr(start, 6));
    std::size_t first = std::string::npos, last = close;  // the numbers between
    if (name.compare(0, 4, "CRC=") == 0) {
      first = start + 4;
    } else if (name == "CRC[]=" && line.compare(start + 6, 1, "{") == 0 && close != std::string::npos &&
               close > start + 7 && line[close - 1] == '}') {
      first = start + 7;
      last = close - 1;
    }
    if (first == std::string::npos || close == std::string::npos || close < first) {
      shown += line;
      continue;
    }
    std::string numbers;
    bool all = true;
    for (std::size_t from = first; from <= last && all;) {
      std::size_t comma = line.find(',', from);
      if (comma == std::string::npos || comma > last) comma = last;
      std::string hex;
      all = HexOfDecimal(line.substr(from, comma - from), &hex);
      numbers += (numbers.empty() ? "" : ",") + hex;
      from = comma + 1;
    }
    shown += all ? line.substr(0, first) + numbers + line.substr(last) : line;
  }
  return shown;
}

void CheckChecksumListText(const std::string& entryName, const std::string& text, const std::set<std::string>& declared,
                           bool haveDistributions, std::vector<std::string>* problems) {
  const struct { const std::string& name; } entry{entryName};
  if (!text.empty() && text.back() != '\n') problems->push_back(entry.name + ": the last line has no line feed and is not read");
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++lineNumber;
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > patch::kMaxChecksumLine) {
      problems->push_back(entry.name + ": line " + std::to_string(lineNumber) + " is longer than 1023 characters");
      continue;
    }
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    std::string name = line.substr(0, blank);
    if (!name.empty() && name[0] == '+') name.erase(0, 1);
    const std::string tag = patch::DistributionTag(name);
    if (patch::HasDistributionSuffix(name) && haveDistributions && !declared.count(UpperName(tag))) {
      problems->push_back(entry.name + ": line " + std::to_string(lineNumber) + " names distribution " + tag +
                          ", which the manifest does not declare");
    }
    if (!patch::IsContainedRelativePath(patch::WithoutDistributionSuffix(name))) {
      problems->push_back(entry.name + ": line " + std::to_string(lineNumber) + " names a path outside the installation");
    }
  }
}

bool InspectPatch(const std::string& path, const std::string& pinnedKeyFile, InspectReport* report) {
  *report = InspectReport();
  std::vector<std::string>& problems = report->problems;
  std::string error;
  std::unique_ptr<patch::ModuleEntrySource> store = patch::ModuleEntrySource::Open(path.c_str(), &error);
  if (!store) {
    problems.push_back(error.compare(0, path.size(), path) == 0 ? error : path + ": " + error);
    return false;
  }
  platform::KeyBlob key;
  const bool haveKey = SlotKey(path, pinnedKeyFile, &key, &error);
  if (!haveKey) problems.push_back(path + ": key slot: " + error);
  if (haveKey) report->fingerprint = app::KeyFingerprintText(key);

  std::vector<std::string> names;
  store->EnumerateNames(CollectName, &names);
  std::vector<Entry> entries;
  std::map<std::string, InspectedGroup> groups;
  std::vector<std::string> groupOrder;
  for (const std::string& name : names) {
    Entry entry;
    entry.name = name;
    const std::string reason = ClassifyEntryName(name, &entry.info);
    if (!ReadEntry(*store, &entry, &error)) {
      problems.push_back(name + ": listed but cannot be read" + (error.empty() ? "" : ": " + error));
      error.clear();
      continue;
    }
    if (!reason.empty()) problems.push_back(name + ": " + reason);
    const std::string title = reason.empty() ? FamilyTitle(entry.info) : "not payload";
    if (!groups.count(title)) groupOrder.push_back(title);
    InspectedGroup& group = groups[title];
    group.title = title;
    group.entries.push_back(InspectedEntry{name, entry.size});
    group.bytes += entry.size;
    ++report->entries;
    if (reason.empty()) entries.push_back(entry);
  }
  for (const std::string& title : groupOrder) report->groups.push_back(groups[title]);

  // The manifest, its signature and its distributions.
  const Entry* manifest = nullptr;
  const Entry* signature = nullptr;
  const Entry* deltaTool = nullptr;
  std::set<std::string> declared;
  bool haveDistributions = false;
  std::string manifestVersion;
  for (const Entry& entry : entries) {
    if (entry.info.family == EntryFamily::Manifest) manifest = &entry;
    if (entry.info.family == EntryFamily::Signature) signature = &entry;
    if (entry.info.family == EntryFamily::DeltaTool) deltaTool = &entry;
  }
  if (!manifest) problems.push_back("VERSION.CFG: missing (the patch program stops with error 1)");
  if (!signature) problems.push_back("VERSION.CFG.SIGN: missing (the patch program stops with error 2)");
  if (manifest && signature && haveKey) {
    platform::ManifestSignature check;
    check.keyBlob = key.data();
    check.keyBlobLength = static_cast<std::uint32_t>(key.size());
    check.signature = signature->data();
    check.signatureLength = static_cast<std::uint32_t>(signature->size);
    const int code = platform::VerifyManifest(manifest->data(), static_cast<std::uint32_t>(manifest->size), check);
    report->signatureValid = code == platform::kManifestVerified;
    if (!report->signatureValid) {
      problems.push_back("VERSION.CFG.SIGN: the signature does not hold for the key in the slot (error " +
                         std::to_string(code) + ")");
    }
  }
  // The payload table: its signature with the slot's key, every entry's size and digest.
  if (haveKey) {
    const patch::PayloadCheck payload = patch::CheckPayload(*store, key, false);
    report->payloadTable = payload.hasTable;
    report->payloadVerified = payload.verified;
    report->tableEntries = payload.entries;
    problems.insert(problems.end(), payload.problems.begin(), payload.problems.end());
    if (!payload.hasTable && platform::KeyBits(key) >= platform::kPayloadTableKeyBits) {
      problems.push_back("PAYLOAD.TABLE: missing, though the key has " + std::to_string(platform::KeyBits(key)) +
                         " bits (the patch program refuses such a patch)");
    } else if (!payload.hasTable) {
      report->notes.push_back("PAYLOAD.TABLE: none: only the manifest is signed (the original format with a "
                              "1024-bit key; the Linux program applies it only when the player allows that)");
    }
  }
  if (manifest) {
    for (const std::string& problem : ManifestProblems(manifest->data(), manifest->size)) {
      problems.push_back("VERSION.CFG: " + problem);
    }
    ParamFile file;
    if (app::LoadManifestTree(manifest->data(), manifest->size, file) == 0) {
      QOStrStream text;
      file.Save(text, 0, "\n");
      report->manifestText = ChecksumsInHex(std::string(text.Data(), static_cast<std::size_t>(text.GetTotalSize())));
      const app::Manifest read = app::ReadManifest(file);
      manifestVersion = read.version;
      haveDistributions = !read.distributions.empty();
      for (const app::ManifestDistribution& distribution : read.distributions) declared.insert(UpperName(distribution.tag));
      for (const app::DistributionRule& rule : read.rules) {
        for (const std::string& tag : rule.distributions) {
          if (!declared.count(UpperName(tag))) {
            problems.push_back("VERSION.CFG: WhatDistribution names " + tag + ", which Distributions does not declare");
          }
        }
      }
    }
  }

  // Entries against each other.
  std::set<std::string> checksumLists, stepTargets;
  std::map<std::string, std::string> fileEntries;  // step + path + distribution -> first name
  bool anyDelta = false;
  for (const Entry& entry : entries) {
    const EntryNameInfo& info = entry.info;
    if (!info.distribution.empty() && info.family != EntryFamily::ChecksumList &&
        !declared.count(UpperName(info.distribution))) {
      problems.push_back(entry.name + ": distribution " + info.distribution + " is not declared in the manifest");
    }
    if (info.family == EntryFamily::ChecksumList) {
      checksumLists.insert(info.from);
      CheckChecksumListText(entry.name, std::string(reinterpret_cast<const char*>(entry.data()), entry.bytes.size()), declared,
                            haveDistributions, &problems);
    }
    if (info.family != EntryFamily::Versioned) continue;
    stepTargets.insert(info.to);
    if (VersionNumber(info.to) <= VersionNumber(info.from)) {
      problems.push_back(entry.name + ": the step does not lead to a later version");
    }
    if (!manifestVersion.empty() && VersionNumber(info.to) > VersionNumber(manifestVersion)) {
      problems.push_back(entry.name + ": the step leads past the manifest's version " + manifestVersion);
    }
    const std::string key = info.from + "-" + info.to + "\\" + info.relativePath + ".#" + UpperName(info.distribution);
    const auto [other, fresh] = fileEntries.emplace(key, entry.name);
    if (!fresh) problems.push_back(entry.name + ": a second entry for the file of " + other->second);
    if (info.action == ".UPD") {
      anyDelta = true;
      static const std::uint8_t magic[4] = {0xD6, 0xC3, 0xC4, 0x00};
      if (entry.size < 4 || std::memcmp(entry.data(), magic, 4) != 0) problems.push_back(entry.name + ": not a VCDIFF delta");
    }
    const char expected = info.action == ".EQU" ? 'E' : info.action == ".DEL" ? 'X' : info.action == ".INI" ? 'I' : 0;
    if (expected && (entry.size != 1 || entry.bytes[0] != static_cast<std::uint8_t>(expected))) {
      problems.push_back(entry.name + ": a marker should be the one byte '" + std::string(1, expected) + "'");
    }
  }
  for (const std::string& target : stepTargets) {
    if (!checksumLists.count(target)) {
      problems.push_back("CRC\\" + target + "\\CRC.CRC: missing; the step to " + target + " cannot verify what it writes");
    }
  }
  if (anyDelta && !deltaTool) problems.push_back("XDELTA3.EXE: missing, and the patch carries deltas");
  if (deltaTool && (deltaTool->size < 2 || deltaTool->bytes[0] != 'M' || deltaTool->bytes[1] != 'Z')) {
    problems.push_back("XDELTA3.EXE: not a Windows executable");
  }
  return problems.empty();
}

}  // namespace make
