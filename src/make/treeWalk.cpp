#include "make/treeWalk.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "Es/Containers/nameText.h"
#include "pe/nameCase.h"
#include "platform/fileSystem.h"

namespace make {
namespace {

struct Walk {
  platform::FileSystem* files;
  std::string root;  // as given, to name the tree in problems
  std::string resolvedRoot;
  std::vector<TreeFile>* found;
  std::vector<std::string>* problems;

  void Problem(const std::string& relative, const std::string& text) const {
    problems->push_back(root + ": " + (relative.empty() ? "" : relative + ": ") + text);
  }
};

struct Listing {
  std::vector<platform::FolderEntry> entries;
};

void Collect(const platform::FolderEntry& entry, void* context) {
  static_cast<Listing*>(context)->entries.push_back(entry);
}

// True when `resolved` is the root or lies below it.
bool Inside(const std::string& resolved, const std::string& root) {
  if (resolved == root) return true;
  if (resolved.size() <= root.size() || resolved.compare(0, root.size(), root) != 0) return false;
  const char next = resolved[root.size()];
  return next == '/' || next == '\\' || root.back() == '/' || root.back() == '\\';
}

void WalkFolder(Walk& walk, const std::string& folder, const std::string& relativeFolder, int depth) {
  Listing listing;
  if (!walk.files->ListFolder(folder.c_str(), Collect, &listing)) {
    walk.Problem(relativeFolder, "cannot be listed");
    return;
  }
  std::sort(listing.entries.begin(), listing.entries.end(), [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
    const std::string upperA = UpperName(a.name), upperB = UpperName(b.name);
    return upperA != upperB ? upperA < upperB : std::strcmp(a.name, b.name) < 0;
  });
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    const platform::FolderEntry& entry = listing.entries[i];
    const std::string name = entry.name;
    const std::string relative = relativeFolder.empty() ? name : relativeFolder + "\\" + name;
    const std::string path = folder + "/" + name;
    if (i > 0 && UpperName(listing.entries[i - 1].name) == UpperName(name)) {
      walk.Problem(relative, "differs from " + (relativeFolder.empty() ? "" : relativeFolder + "\\") +
                                 listing.entries[i - 1].name + " only in case (one file on Windows)");
      continue;
    }
    if (!IsLegalWindowsName(name)) {
      walk.Problem(relative, "not a name Windows can hold");
      continue;
    }
    if (relative.size() > kMaxRelativePath) {
      walk.Problem(relative, "the path is longer than " + std::to_string(kMaxRelativePath) + " characters");
      continue;
    }
    if (entry.isLink) {
      std::string target;
      if (!walk.files->ResolvedPath(path.c_str(), &target)) {
        walk.Problem(relative, "a symbolic link that leads nowhere");
        continue;
      }
      if (!Inside(target, walk.resolvedRoot)) {
        walk.Problem(relative, "a symbolic link that leads out of the tree (" + target + ")");
        continue;
      }
      if (entry.isFolder) {
        walk.Problem(relative, "a symbolic link to a folder; links are not followed into folders");
        continue;
      }
    }
    if (entry.isFolder) {
      if (depth + 1 > kMaxTreeDepth) {
        walk.Problem(relative, "folders nested deeper than " + std::to_string(kMaxTreeDepth));
        continue;
      }
      WalkFolder(walk, path, relative, depth + 1);
      continue;
    }
    walk.found->push_back(TreeFile{relative, path});
  }
}

}  // namespace

std::string UpperName(const std::string& name) { return pe::UpperName(name); }

bool IsLegalWindowsName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  if (name.back() == '.' || name.back() == ' ') return false;
  // Device names, also with an extension: "CON", "nul.txt", "COM1.dat".
  std::string stem = UpperName(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : devices) {
    if (stem == device) return false;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
      stem[3] <= '9') {
    return false;
  }
  return true;
}

bool WalkTree(const std::string& root, std::vector<TreeFile>* files, std::vector<std::string>* problems) {
  files->clear();
  const std::size_t problemsBefore = problems->size();
  Walk walk{platform::CurrentFileSystem(), root, std::string(), files, problems};
  bool isFolder = false;
  if (!walk.files->Exists(root.c_str(), &isFolder) || !isFolder ||
      !walk.files->ResolvedPath(root.c_str(), &walk.resolvedRoot)) {
    problems->push_back(root + ": not a folder");
    return false;
  }
  std::string start = root;
  while (start.size() > 1 && (start.back() == '/' || start.back() == '\\')) start.pop_back();
  WalkFolder(walk, start, std::string(), 0);
  std::sort(files->begin(), files->end(), [](const TreeFile& a, const TreeFile& b) {
    return UpperName(a.relative) < UpperName(b.relative);
  });
  return problems->size() == problemsBefore;
}

bool MatchesPattern(const std::string& pattern, const std::string& text) {
  // Iterative matching with one back-tracking point for the last '*'.
  std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  const auto fold = [](char c) { return c == '/' ? '\\' : UpperAscii(c); };
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(text[t]))) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace make
