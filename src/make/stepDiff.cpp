#include "make/stepDiff.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "make/deltaInputs.h"
#include "make/treeWalk.h"
#include "patch/entryNames.h"
#include "platform/fileSystem.h"
#include "platform/thread.h"

namespace make {
namespace {

struct DiffItem {
  std::string relative;  // the new tree's spelling when the file is there, else the old one's
  std::string oldPath;
  std::string newPath;
  std::uint64_t bytes = 0;
  std::string action;  // what was written
  bool upToDate = false;
  bool failed = false;
};

std::uint64_t SizeOf(const std::string& path) {
  platform::FileSystem& files = *platform::CurrentFileSystem();
  const platform::FileHandle file = files.OpenRead(path.c_str());
  std::uint64_t size = 0;
  if (platform::IsValidFile(file)) {
    files.Size(file, &size);
    files.Close(file);
  }
  return size;
}

std::string SlashPath(std::string relative) {
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return relative;
}

struct Shared {
  const DiffOptions* options;
  DeltaInputRecord* record = nullptr;
  std::string stepFolder;
  std::string suffix;
  std::vector<DiffItem>* items;
  std::atomic<std::size_t> next{0};
  std::atomic<std::uint64_t> doneBytes{0};
  std::uint64_t totalBytes = 0;
  std::mutex progressLock;
};

std::uint32_t Work(void* argument) {
  Shared& shared = *static_cast<Shared*>(argument);
  CreatePatch action(shared.options->carryNewFiles, shared.suffix, shared.options->encoder, shared.record);
  for (std::size_t index = shared.next++; index < shared.items->size(); index = shared.next++) {
    DiffItem& item = (*shared.items)[index];
    const std::string output = shared.stepFolder + "/" + SlashPath(item.relative) + ".upd";
    item.failed = action.Apply(item.oldPath.c_str(), item.newPath.c_str(), output.c_str(), 1) == 0;
    action.Finish();
    item.upToDate = action.LastWasUpToDate();
    item.action = item.upToDate ? ".upd" : action.LastAction();
    const std::uint64_t done = shared.doneBytes += item.bytes;
    if (shared.options->progress) {
      std::lock_guard<std::mutex> hold(shared.progressLock);
      shared.options->progress(done, shared.totalBytes, item.relative);
    }
  }
  return 0;
}

void ListOutputs(const std::string& folder, const std::string& relative,
                 std::vector<std::pair<std::string, std::string>>* found, int depth) {
  if (depth > kMaxTreeDepth) return;
  std::vector<platform::FolderEntry> entries;
  platform::CurrentFileSystem()->ListFolder(folder.c_str(), [](const platform::FolderEntry& entry, void* context) {
    static_cast<std::vector<platform::FolderEntry>*>(context)->push_back(entry);
  }, &entries);
  for (const platform::FolderEntry& entry : entries) {
    if (entry.isLink) continue;
    const std::string name = relative.empty() ? entry.name : relative + "\\" + entry.name;
    const std::string path = folder + "/" + entry.name;
    if (entry.isFolder) {
      ListOutputs(path, name, found, depth + 1);
    } else {
      found->emplace_back(name, path);
    }
  }
}

}  // namespace

int RemoveStaleEntries(const std::string& stepFolder, const std::set<std::string>& expected, const std::string* onlySuffix) {
  std::vector<std::pair<std::string, std::string>> found;
  ListOutputs(stepFolder, std::string(), &found, 0);
  int removed = 0;
  for (const auto& [relative, path] : found) {
    const std::string upper = UpperName(relative);
    if (expected.count(upper)) continue;
    std::string name = upper;
    const bool partial = name.size() > 5 && name.compare(name.size() - 5, 5, ".PART") == 0;
    if (partial) name.resize(name.size() - 5);
    const std::string tag = patch::DistributionTag(name);
    if (onlySuffix && (tag.empty() ? std::string() : ".#" + tag) != UpperName(*onlySuffix)) continue;
    const std::string bare = patch::WithoutDistributionSuffix(name);
    const std::string extension = bare.size() >= 4 ? bare.substr(bare.size() - 4) : "";
    if (!partial && extension != ".UPD" && extension != ".EQU" && extension != ".NEW" && extension != ".INI" &&
        extension != ".DEL") {
      continue;
    }
    if (platform::CurrentFileSystem()->Delete(path.c_str())) ++removed;
  }
  return removed;
}

bool NormalizeVersion(const std::string& text, std::string* version) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot > 4 || text.size() != dot + 3) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != dot && (text[i] < '0' || text[i] > '9')) return false;
  }
  // Leading zeros of the major number are dropped, as "%d.%02d" writes it.
  std::size_t start = 0;
  while (start + 1 < dot && text[start] == '0') ++start;
  *version = text.substr(start);
  return true;
}

int ProcessorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : static_cast<int>(count);
}

bool CreateFolders(const std::string& folder) {
  platform::FileSystem& files = *platform::CurrentFileSystem();
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at == folder.size() || folder[at] == '/' || folder[at] == '\\') {
      const std::string part = folder.substr(0, at);
      if (part.empty() || part.back() == ':' || part.back() == '/' || part.back() == '\\') continue;
      if (!files.CreateFolder(part.c_str())) return false;
    }
  }
  return true;
}

bool DiffTrees(const DiffOptions& options, DiffReport* report) {
  *report = DiffReport();
  std::string from, to;
  if (!NormalizeVersion(options.fromVersion, &from)) report->problems.push_back("version '" + options.fromVersion + "' is not major.minor with two minor digits (1.05)");
  if (!NormalizeVersion(options.toVersion, &to)) report->problems.push_back("version '" + options.toVersion + "' is not major.minor with two minor digits (1.06)");
  if (!options.distribution.empty() && (!IsLegalWindowsName(options.distribution) ||
                                        options.distribution.find_first_of(". ") != std::string::npos)) {
    report->problems.push_back("distribution tag '" + options.distribution + "' is not a plain name");
  }
  std::vector<TreeFile> oldFiles, newFiles;
  WalkTree(options.oldTree, &oldFiles, &report->problems);
  WalkTree(options.newTree, &newFiles, &report->problems);
  if (!report->problems.empty()) return false;

  // Pair the files by their upper-case names.
  std::map<std::string, DiffItem> byName;
  for (const TreeFile& file : oldFiles) {
    DiffItem& item = byName[UpperName(file.relative)];
    item.relative = file.relative;
    item.oldPath = file.path;
  }
  for (const TreeFile& file : newFiles) {
    DiffItem& item = byName[UpperName(file.relative)];
    item.relative = file.relative;
    item.newPath = file.path;
  }
  std::set<std::string> only;
  for (const std::string& name : options.only) only.insert(UpperName(name));
  std::vector<DiffItem> items;
  for (auto& [upper, item] : byName) {
    if (!only.empty() && !only.count(upper)) continue;
    // A side without the file gets a path that names nothing there.
    if (item.oldPath.empty()) item.oldPath = options.oldTree + "/" + SlashPath(item.relative);
    if (item.newPath.empty()) item.newPath = options.newTree + "/" + SlashPath(item.relative);
    item.bytes = SizeOf(item.oldPath) + SizeOf(item.newPath);
    items.push_back(std::move(item));
  }

  Shared shared;
  shared.options = &options;
  shared.stepFolder = options.payload + "/" + from + "-" + to;
  shared.suffix = options.distribution.empty() ? "" : ".#" + options.distribution;
  shared.items = &items;
  for (const DiffItem& item : items) {
    shared.totalBytes += item.bytes;
    const std::size_t slash = item.relative.find_last_of('\\');
    const std::string folder =
        shared.stepFolder + (slash == std::string::npos ? "" : "/" + SlashPath(item.relative.substr(0, slash)));
    if (!CreateFolders(folder)) {
      report->problems.push_back(folder + ": cannot create the folder");
      return false;
    }
  }
  if (items.empty() && !CreateFolders(shared.stepFolder)) {
    report->problems.push_back(shared.stepFolder + ": cannot create the folder");
    return false;
  }
  DeltaInputRecord record(options.payload);
  shared.record = &record;
  // The largest first, so that the last file to finish is a small one.
  std::stable_sort(items.begin(), items.end(), [](const DiffItem& a, const DiffItem& b) { return a.bytes > b.bytes; });

  const int jobs = std::max(1, std::min<int>(options.jobs > 0 ? options.jobs : ProcessorCount(),
                                             static_cast<int>(std::max<std::size_t>(items.size(), 1))));
  platform::ThreadSystem& threads = *platform::CurrentThreadSystem();
  std::vector<platform::ThreadHandle> started;
  for (int i = 1; i < jobs; ++i) {
    const platform::ThreadHandle thread = threads.Start(0, Work, &shared);
    if (thread != platform::kNoThread) started.push_back(thread);  // fewer threads still do all the work
  }
  Work(&shared);
  for (const platform::ThreadHandle thread : started) {
    threads.Wait(thread);
    threads.Close(thread);
  }

  std::set<std::string> expected;
  for (const DiffItem& item : items) {
    report->bytes += item.bytes;
    ++report->files;
    if (item.failed) {
      // Named in the tree that has the file: the new one, or the old one for a file that is gone.
      const bool inNew = FileExists(item.newPath.c_str());
      report->problems.push_back((inNew ? options.newTree : options.oldTree) + ": " + item.relative +
                                 ": no entry could be written");
      continue;
    }
    expected.insert(UpperName(item.relative + item.action + shared.suffix));
    report->written.push_back(UpperName(item.relative + item.action + shared.suffix));
    if (item.upToDate) ++report->upToDate;
    if (item.action == ".upd") ++report->deltas;
    if (item.action == ".equ") ++report->identical;
    if (item.action == ".new" || item.action == ".ini") ++report->added;
    if (item.action == ".del") ++report->deleted;
  }
  if (only.empty() && report->problems.empty()) {
    report->removedStale = RemoveStaleEntries(shared.stepFolder, expected, &shared.suffix);
  }
  std::string error;
  if (!record.Compact(&error)) {
    report->warnings.push_back(error + ": the next run cannot reuse this run's deltas");
  }
  return report->problems.empty();
}

}  // namespace make
