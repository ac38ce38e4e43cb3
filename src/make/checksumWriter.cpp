#include "make/checksumWriter.h"

#include <cstdio>
#include <map>
#include <set>

#include "El/QStream/crc32.h"
#include "make/stepDiff.h"
#include "make/treeWalk.h"
#include "platform/fileSystem.h"

namespace make {
namespace {

struct Checked {
  std::string relative;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
};

std::string SystemErrorText() {
  platform::FileSystem& files = *platform::CurrentFileSystem();
  char text[256];
  files.ErrorText(files.LastError(), text, sizeof text);
  return text;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
  platform::FileSystem& files = *platform::CurrentFileSystem();
  const std::string part = path + ".part";
  const platform::FileHandle file = files.OpenWrite(part.c_str());
  if (!platform::IsValidFile(file)) {
    *error = path + ": cannot be written (" + SystemErrorText() + ")";
    return false;
  }
  bool ok = true;
  for (std::size_t at = 0; ok && at < bytes.size();) {
    const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    std::uint32_t written = 0;
    ok = files.Write(file, bytes.data() + at, piece, &written) && written == piece;
    at += piece;
  }
  if (!ok) *error = path + ": cannot be written (" + SystemErrorText() + ")";
  if (!files.Close(file) && ok) {
    ok = false;
    *error = path + ": cannot be written (" + SystemErrorText() + ")";
  }
  if (ok && !files.RenameReplacing(part.c_str(), path.c_str())) {
    ok = false;
    *error = path + ": cannot be renamed into place (" + SystemErrorText() + ")";
  }
  if (!ok) files.Delete(part.c_str());
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::uint64_t limit) {
  platform::FileSystem& files = *platform::CurrentFileSystem();
  const platform::FileHandle file = files.OpenRead(path.c_str());
  if (!platform::IsValidFile(file)) return false;
  std::uint64_t size = 0;
  bool ok = files.Size(file, &size) && size <= limit;
  if (ok) {
    bytes->assign(static_cast<std::size_t>(size), '\0');
    std::uint32_t got = 0;
    ok = size == 0 || (files.ReadAt(file, 0, &(*bytes)[0], static_cast<std::uint32_t>(size), &got) && got == size);
  }
  files.Close(file);
  return ok;
}

bool ChecksumListText(const std::vector<ChecksumTree>& trees, const std::vector<std::string>& toleratePatterns,
                      std::string* text, ChecksumReport* report) {
  *report = ChecksumReport();
  text->clear();
  if (trees.empty()) {
    report->problems.push_back("no tree to list");
    return false;
  }
  std::set<std::string> tags;
  for (const ChecksumTree& tree : trees) {
    if (trees.size() > 1 && tree.distribution.empty()) report->problems.push_back(tree.root + ": several trees need a distribution tag each");
    if (!tree.distribution.empty() && !tags.insert(UpperName(tree.distribution)).second) {
      report->problems.push_back("distribution " + tree.distribution + " is given twice");
    }
  }
  // Per tree: upper-case name -> file.
  std::vector<std::map<std::string, Checked>> checked(trees.size());
  std::map<std::string, std::string> order;  // upper name -> first spelling, in the store's order
  for (std::size_t t = 0; t < trees.size(); ++t) {
    std::vector<TreeFile> files;
    WalkTree(trees[t].root, &files, &report->problems);
    for (const TreeFile& file : files) {
      Checked entry{file.relative, 0, 0};
      if (!Crc32OfFile(file.path.c_str(), &entry.crc, &entry.size)) {
        report->problems.push_back(trees[t].root + ": " + file.relative + ": cannot be read");
        continue;
      }
      ++report->files;
      order.emplace(UpperName(file.relative), file.relative);
      checked[t][UpperName(file.relative)] = entry;
    }
  }
  if (!report->problems.empty()) return false;

  const auto line = [&](const std::string& name, const std::string& suffix, const Checked& file) {
    bool tolerated = file.size == 0;
    for (const std::string& pattern : toleratePatterns) tolerated = tolerated || MatchesPattern(pattern, file.relative);
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", file.crc);
    *text += (tolerated ? "+" : "") + name + suffix + " " + crc + "\n";
    ++report->lines;
    if (tolerated) ++report->tolerated;
    if (file.size == 0) ++report->emptyFiles;
  };
  for (const auto& [upper, spelling] : order) {
    bool common = true;
    const Checked* first = nullptr;
    for (std::size_t t = 0; t < trees.size(); ++t) {
      const auto found = checked[t].find(upper);
      if (found == checked[t].end()) {
        common = false;
        continue;
      }
      if (first && (first->crc != found->second.crc || first->size != found->second.size)) common = false;
      if (!first) first = &found->second;
    }
    if (common || trees.size() == 1) {
      line(spelling, trees.size() == 1 && !trees[0].distribution.empty() ? ".#" + trees[0].distribution : "", *first);
      continue;
    }
    for (std::size_t t = 0; t < trees.size(); ++t) {
      const auto found = checked[t].find(upper);
      if (found != checked[t].end()) line(found->second.relative, ".#" + trees[t].distribution, found->second);
    }
  }
  return true;
}

bool WriteChecksumList(const std::vector<ChecksumTree>& trees, const std::string& version,
                       const std::vector<std::string>& toleratePatterns, const std::string& payload,
                       ChecksumReport* report) {
  std::string normalized;
  if (!NormalizeVersion(version, &normalized)) {
    *report = ChecksumReport();
    report->problems.push_back("version '" + version + "' is not major.minor with two minor digits (1.06)");
    return false;
  }
  std::string text;
  if (!ChecksumListText(trees, toleratePatterns, &text, report)) return false;
  const std::string folder = payload + "/CRC/" + normalized;
  std::string error;
  if (!CreateFolders(folder)) {
    report->problems.push_back(folder + ": cannot create the folder");
    return false;
  }
  if (!WriteWholeFile(folder + "/CRC.CRC", text, &error)) {
    report->problems.push_back(error);
    return false;
  }
  return true;
}

}  // namespace make
