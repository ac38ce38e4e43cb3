#include "make/payloadNames.h"

#include "make/treeWalk.h"
#include "patch/entryNames.h"
#include "patch/payloadTable.h"

namespace make {
namespace {

// "1.05" at `at`: digits, a full stop, two digits; sets *end after it.
bool ReadVersion(const std::string& name, std::size_t at, std::size_t* end) {
  std::size_t i = at;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
  if (i == at || i - at > 4 || i + 3 > name.size() || name[i] != '.') return false;
  if (name[i + 1] < '0' || name[i + 1] > '9' || name[i + 2] < '0' || name[i + 2] > '9') return false;
  if (i - at > 1 && name[at] == '0') return false;  // "%d" writes no leading zero
  *end = i + 3;
  return true;
}

std::string CheckPath(const std::string& path) {
  if (!patch::IsContainedRelativePath(path)) return "the path would leave the installation folder";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (!IsLegalWindowsName(path.substr(start, end - start))) return "'" + path.substr(start, end - start) + "' is not a name Windows can hold";
    start = end + 1;
  }
  return "";
}

}  // namespace

std::string ClassifyEntryName(const std::string& name, EntryNameInfo* info) {
  *info = EntryNameInfo();
  if (name.empty()) return "an empty name";
  if (name.size() > kMaxEntryName) return "longer than 511 characters";
  if (name != UpperName(name)) return "not in upper case (the Windows resource loader would not find it)";
  if (name.find('/') != std::string::npos) return "a forward slash (names use backslashes)";
  if (name == "VERSION.CFG") { info->family = EntryFamily::Manifest; return ""; }
  if (name == "VERSION.CFG.SIGN") { info->family = EntryFamily::Signature; return ""; }
  if (name == "XDELTA3.EXE") { info->family = EntryFamily::DeltaTool; return ""; }
  if (patch::IsPayloadTableEntry(name)) { info->family = EntryFamily::PayloadTable; return ""; }

  std::string rest = name;
  if (patch::HasDistributionSuffix(rest)) {
    info->distribution = patch::DistributionTag(rest);
    if (info->distribution.empty() || !IsLegalWindowsName(info->distribution)) return "an empty or malformed distribution tag";
    rest = patch::WithoutDistributionSuffix(rest);
  }
  std::size_t end = 0;
  if (rest.compare(0, 4, "CRC\\") == 0 && ReadVersion(rest, 4, &end)) {
    info->family = EntryFamily::ChecksumList;
    info->from = rest.substr(4, end - 4);
    if (rest.compare(end, std::string::npos, "\\CRC.CRC") != 0 || !info->distribution.empty()) {
      return "a checksum list must be named CRC\\<version>\\CRC.CRC";
    }
    return "";
  }
  const struct { const char* prefix; EntryFamily family; } groups[] = {
      {"ALL\\", EntryFamily::WholeFile}, {"ADD\\", EntryFamily::Addon}, {"TMP\\", EntryFamily::Temporary}};
  for (const auto& group : groups) {
    if (rest.compare(0, 4, group.prefix) == 0) {
      info->family = group.family;
      info->relativePath = rest.substr(4);
      return CheckPath(info->relativePath);
    }
  }
  if (!ReadVersion(rest, 0, &end)) return "not a payload name (no group, version step or known name)";
  info->from = rest.substr(0, end);
  if (end < rest.size() && rest[end] == '\\') {
    info->family = EntryFamily::InstalledVersion;
    info->relativePath = rest.substr(end + 1);
    return CheckPath(info->relativePath);
  }
  std::size_t toEnd = 0;
  if (end >= rest.size() || rest[end] != '-' || !ReadVersion(rest, end + 1, &toEnd) || toEnd >= rest.size() ||
      rest[toEnd] != '\\') {
    return "not a version step (<from>-<to>\\)";
  }
  info->family = EntryFamily::Versioned;
  info->to = rest.substr(end + 1, toEnd - end - 1);
  std::string path = rest.substr(toEnd + 1);
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('\\');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "no action suffix";
  info->action = path.substr(dot);
  if (info->action != ".UPD" && info->action != ".NEW" && info->action != ".EQU" && info->action != ".DEL" &&
      info->action != ".INI") {
    return "unknown action suffix " + info->action;
  }
  info->relativePath = path.substr(0, dot);
  return CheckPath(info->relativePath);
}

std::string FamilyTitle(const EntryNameInfo& info) {
  switch (info.family) {
    case EntryFamily::Versioned: return "step " + info.from + "-" + info.to;
    case EntryFamily::WholeFile: return "whole files (ALL)";
    case EntryFamily::Addon: return "addon files (ADD)";
    case EntryFamily::Temporary: return "temporary files (TMP)";
    case EntryFamily::InstalledVersion: return "files for installed version " + info.from;
    case EntryFamily::ChecksumList: return "checksum lists";
    case EntryFamily::Manifest:
    case EntryFamily::Signature: return "manifest";
    case EntryFamily::DeltaTool: return "delta tool";
    case EntryFamily::PayloadTable: return "payload table";
  }
  return "";
}

}  // namespace make
