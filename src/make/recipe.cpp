#include "make/recipe.h"

#include <algorithm>
#include <map>
#include <set>

#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramText.h"
#include "app/manifest.h"
#include "make/checksumWriter.h"
#include "make/patchInspector.h"
#include "make/patchPacker.h"
#include "make/stepDiff.h"
#include "make/treeWalk.h"
#include "platform/fileSystem.h"
#include "platform/keyBlob.h"
#include "platform/mappedFile.h"

namespace make {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsAbsolute(const std::string& path) {
  return !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
}

// The length of an absolute path's root: "/", "\\", "C:" or "C:/" (a network share's server and share
// are kept as ordinary components, which ".." never climbs above either).
std::size_t RootLength(const std::string& path) {
  if (path.size() > 1 && path[1] == ':') return path.size() > 2 && (path[2] == '/' || path[2] == '\\') ? 3 : 2;
  if (path.size() > 1 && (path[0] == '/' || path[0] == '\\') && (path[1] == '/' || path[1] == '\\')) return 2;
  return path.empty() || (path[0] != '/' && path[0] != '\\') ? 0 : 1;
}

// The path with "." and ".." folded into the components before them. A ".." left over at the front of
// a relative path is kept (it climbs out of the current folder); one at an absolute root is dropped,
// the way the system treats it.
std::string Folded(const std::string& path) {
  const std::size_t root = RootLength(path);
  const bool isUnc = root == 2 && path[1] != ':';
  std::vector<std::string> parts;
  std::size_t kept = 0;  // leading components the folding must not remove (a share's server and name)
  for (std::size_t at = root; at <= path.size();) {
    std::size_t end = path.find_first_of("/\\", at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." && parts.size() > kept && parts.back() != "..") {
      parts.pop_back();
    } else if (part != ".." || root == 0) {
      parts.push_back(part);
    }
    if (isUnc && parts.size() <= 2) kept = parts.size();
  }
  std::string folded = path.substr(0, root);
  for (std::size_t i = 0; i < parts.size(); ++i) folded += (i > 0 ? "/" : "") + parts[i];
  return folded.empty() ? std::string(".") : folded;
}

// A path of the recipe, taken relative to the recipe's folder unless it is absolute. The file system
// layer keeps a relative path inside the current folder, so a path that climbs out of it
// ("../game/1.05" beside a recipe in the current folder) is made absolute from the current folder.
std::string Resolve(const std::string& base, const std::string& path) {
  if (path.empty() || IsAbsolute(path)) return path;
  std::string joined = Folded(base + path);
  if (joined == ".." || joined.compare(0, 3, "../") == 0) {
    std::string current;
    if (platform::CurrentFileSystem()->CurrentFolder(&current)) joined = Folded(current + "/" + joined);
  }
  return joined;
}

std::string Text(const ParamEntry& holder, const char* key) {
  const ParamEntryPtr entry = holder.FindEntry(key);
  return entry && !entry->IsClass() && !entry->IsArray() ? std::string(entry->GetValue().Data()) : std::string();
}

struct Compared {
  bool present = false;
  std::string path;
};

// The files of one step: for each upper-case name, the old and new file per distribution.
struct StepFile {
  std::string relative;
  std::vector<Compared> oldSide, newSide;
};

bool SameFile(const Compared& a, const Compared& b) {
  if (a.present != b.present) return false;
  return !a.present || CompareFiles(a.path.c_str(), b.path.c_str()) == 0;
}

}  // namespace

bool ReadRecipe(const std::string& path, Recipe* recipe, std::vector<std::string>* problems) {
  *recipe = Recipe();
  const std::size_t before = problems->size();
  ParamFile file;
  if (!ParseConfigFile(path, file, problems)) return false;
  const std::string base = FolderOf(path);
  recipe->manifest = Resolve(base, Text(file, "manifest"));
  recipe->key = Resolve(base, Text(file, "key"));
  recipe->patchProgram = Resolve(base, Text(file, "patchProgram"));
  if (!Text(file, "deltaTool").empty()) recipe->deltaTool = Resolve(base, Text(file, "deltaTool"));
  if (!Text(file, "payload").empty()) recipe->payload = Resolve(base, Text(file, "payload"));
  if (const ParamEntryPtr carry = file.FindEntry("carryNewFiles")) recipe->carryNewFiles = carry->GetInt() != 0;
  if (const ParamEntryPtr tolerate = file.FindEntry("tolerate")) {
    if (tolerate->IsArray()) {
      for (int i = 0; i < tolerate->GetSize(); ++i) recipe->tolerate.push_back((*tolerate)[i].GetValue().Data());
    } else if (!tolerate->IsClass()) {
      recipe->tolerate.push_back(tolerate->GetValue().Data());
    }
  }
  for (const char* key : {"manifest", "key", "patchProgram"}) {
    if (Text(file, key).empty()) problems->push_back(path + ": the recipe needs " + key + " = \"...\";");
  }

  const ParamEntryPtr versions = file.FindEntry("Versions");
  if (!versions || !versions->IsClass()) {
    problems->push_back(path + ": the recipe needs class Versions with at least two versions");
    return false;
  }
  std::set<std::string> tags;
  for (int i = 0; i < versions->GetEntryCount(); ++i) {
    const ParamEntryPtr entry = versions->GetEntry(i);
    if (!entry || !entry->IsClass()) continue;
    const std::string where = path + ": Versions." + entry->GetName().Data();
    RecipeVersion version;
    if (!NormalizeVersion(Text(*entry, "version"), &version.version)) {
      problems->push_back(where + ": version = \"major.minor\" with two minor digits is needed");
    }
    const ParamEntryPtr trees = entry->FindEntry("Trees");
    if (trees && trees->IsClass()) {
      std::set<std::string> own;
      for (int t = 0; t < trees->GetEntryCount(); ++t) {
        const ParamEntryPtr tree = trees->GetEntry(t);
        if (!tree || tree->IsClass() || tree->IsArray()) continue;
        const std::string tag = tree->GetName().Data();
        version.trees.emplace_back(tag, Resolve(base, tree->GetValue().Data()));
        own.insert(UpperName(tag));
      }
      if (recipe->versions.empty()) {
        tags = own;
      } else if (own != tags) {
        problems->push_back(where + ": names other distributions than the first version");
      }
    } else if (!Text(*entry, "tree").empty()) {
      version.trees.emplace_back("", Resolve(base, Text(*entry, "tree")));
      if (!recipe->versions.empty() && !tags.empty()) problems->push_back(where + ": needs a tree per distribution");
    } else {
      problems->push_back(where + ": needs tree = \"folder\"; or class Trees { TAG = \"folder\"; };");
    }
    if (version.trees.empty()) problems->push_back(where + ": names no tree");
    // Each version's trees in the same order of tags, so that a step pairs a distribution's two trees.
    std::sort(version.trees.begin(), version.trees.end(), [](const auto& a, const auto& b) {
      return UpperName(a.first) < UpperName(b.first);
    });
    if (!recipe->versions.empty() && !version.version.empty() &&
        version.version.size() >= 4 && recipe->versions.back().version.size() >= 4) {
      const auto number = [](const std::string& v) { return std::stoi(v.substr(0, v.find('.'))) * 100 + std::stoi(v.substr(v.find('.') + 1)); };
      if (number(version.version) <= number(recipe->versions.back().version)) {
        problems->push_back(where + ": versions must be listed oldest first");
      }
    }
    recipe->versions.push_back(version);
  }
  if (recipe->versions.size() < 2) problems->push_back(path + ": class Versions needs at least two versions");

  if (const ParamEntryPtr groups = file.FindEntry("Groups")) {
    const struct { const char* key; const char* prefix; } known[] = {{"all", "ALL"}, {"addon", "ADD"}, {"temporary", "TMP"}};
    for (const auto& group : known) {
      const std::string folder = groups->IsClass() ? Text(*groups, group.key) : std::string();
      if (!folder.empty()) recipe->groups.emplace_back(group.prefix, Resolve(base, folder));
    }
  }
  return problems->size() == before;
}

namespace {

// The manifest compiles, ends at the recipe's last version, and declares every distribution the recipe
// has trees for.
void CheckManifest(const Recipe& recipe, const std::string& recipePath, std::vector<std::string>* problems) {
  ManifestCompile compiled;
  if (!CompileManifest(recipe.manifest, &compiled)) {
    problems->insert(problems->end(), compiled.problems.begin(), compiled.problems.end());
    return;
  }
  ParamFile file;
  app::LoadManifestTree(compiled.bytes.data(), compiled.bytes.size(), file);
  const app::Manifest manifest = app::ReadManifest(file);
  std::string version;
  NormalizeVersion(manifest.version, &version);
  const std::string& last = recipe.versions.back().version;
  if (version != last) {
    problems->push_back(recipe.manifest + ": version = \"" + manifest.version + "\", but the last version of " +
                        recipePath + " is " + last + " (the patch must end at the version it reports)");
  }
  std::set<std::string> declared;
  for (const app::ManifestDistribution& distribution : manifest.distributions) declared.insert(UpperName(distribution.tag));
  for (const auto& [tag, folder] : recipe.versions.front().trees) {
    if (!tag.empty() && !declared.count(UpperName(tag))) {
      problems->push_back(recipePath + ": distribution " + tag + " (" + folder + ") is not declared in " +
                          recipe.manifest + " (class Distributions)");
    }
  }
}

std::string StepName(const Recipe& recipe, std::size_t from) {
  return recipe.versions[from].version + "-" + recipe.versions[from + 1].version;
}

// Everything that can be known wrong before the first delta is made, so that a build refuses in
// seconds rather than after the encoding: the manifest, the key and programs to pack, every tree, and
// steps of earlier builds left in the payload folder.
bool CheckBeforeDiff(const Recipe& recipe, const std::string& recipePath, const std::string& payload,
                     std::vector<std::string>* problems) {
  const std::size_t before = problems->size();
  CheckManifest(recipe, recipePath, problems);
  std::string pem, fingerprint, error;
  platform::KeyBlob key;
  if (!ReadKeyFile(recipe.key, &pem, &key, &fingerprint, &error)) {
    problems->push_back(error);
  } else if (platform::KeyBits(key) < platform::kPayloadTableKeyBits) {
    // A build always packs the signed payload table.
    problems->push_back(recipe.key + ": a key of " + std::to_string(platform::KeyBits(key)) +
                        " bits cannot sign the payload table; it needs " +
                        std::to_string(platform::kPayloadTableKeyBits) + " bits or more (zrmake keygen makes " +
                        std::to_string(platform::kDefaultKeyBits) + ")");
  }
  if (!FileExists(recipe.patchProgram.c_str())) problems->push_back(recipe.patchProgram + ": no such patch program");
  if (!recipe.deltaTool.empty() && !FileExists(recipe.deltaTool.c_str())) {
    problems->push_back(recipe.deltaTool + ": no such delta tool");
  }
  std::set<std::string> walked;
  std::vector<TreeFile> files;
  for (const RecipeVersion& version : recipe.versions) {
    for (const auto& [tag, folder] : version.trees) {
      if (walked.insert(folder).second) WalkTree(folder, &files, problems);
    }
  }
  for (const auto& [prefix, folder] : recipe.groups) {
    if (walked.insert(folder).second) WalkTree(folder, &files, problems);
  }
  std::set<std::string> steps;
  for (std::size_t v = 0; v + 1 < recipe.versions.size(); ++v) steps.insert(StepName(recipe, v));
  std::vector<platform::FolderEntry> entries;
  platform::CurrentFileSystem()->ListFolder(payload.c_str(), [](const platform::FolderEntry& entry, void* context) {
    static_cast<std::vector<platform::FolderEntry>*>(context)->push_back(entry);
  }, &entries);
  for (const platform::FolderEntry& entry : entries) {
    const std::string name = entry.name;
    if (entry.isFolder && name.find('-') != std::string::npos && !steps.count(name)) {
      problems->push_back(payload + "/" + name + ": a step the recipe does not name; remove the folder");
    }
  }
  return problems->size() == before;
}

// The patch is packed and inspected under this name beside the output, and renamed to the output only
// when both succeeded: a failed or killed build leaves no patch there, and an earlier one stays as it
// was. A build removes what a killed one left under the name before it starts.
std::string BuildingPath(const std::string& output) { return output + ".building"; }

bool PackAndInspect(const Recipe& recipe, const std::string& payload, const BuildOptions& options,
                    BuildReport* report) {
  std::vector<std::string>& problems = report->problems;
  platform::FileSystem& files = *platform::CurrentFileSystem();
  const std::string building = BuildingPath(options.output);
  const auto fail = [&] {
    if (FileExists(building.c_str())) files.Delete(building.c_str());
    return false;
  };
  if (options.stage) options.stage("pack");
  PackOptions pack;
  pack.stub = recipe.patchProgram;
  pack.payload = payload;
  pack.manifest = recipe.manifest;
  pack.output = building;
  pack.keyFile = recipe.key;
  pack.deltaTool = recipe.deltaTool;
  pack.deltaToolCandidates = options.deltaToolCandidates;
  pack.groupFolders = recipe.groups;
  PackReport packed;
  if (!PackPatch(pack, &packed)) {
    problems.insert(problems.end(), packed.problems.begin(), packed.problems.end());
    return fail();
  }
  report->fingerprint = packed.fingerprint;
  report->fileSize = packed.fileSize;
  report->entries = packed.entries;

  if (options.stage) options.stage("inspect");
  InspectReport inspected;
  if (!InspectPatch(building, std::string(), &inspected)) {
    problems.insert(problems.end(), inspected.problems.begin(), inspected.problems.end());
    return fail();
  }
  if (!files.RenameReplacing(building.c_str(), options.output.c_str())) {
    problems.push_back(platform::FileErrorText(&files, options.output.c_str()) + " (the patch cannot be put in place)");
    return fail();
  }
  return true;
}

}  // namespace

bool BuildPatch(const BuildOptions& options, BuildReport* report) {
  *report = BuildReport();
  std::vector<std::string>& problems = report->problems;
  Recipe recipe;
  if (!ReadRecipe(options.recipe, &recipe, &problems)) return false;
  const std::string payload = recipe.payload.empty() ? options.output + ".payload" : recipe.payload;
  const auto stage = [&](const std::string& text) {
    if (options.stage) options.stage(text);
  };
  const std::string building = BuildingPath(options.output);
  if (FileExists(building.c_str())) platform::CurrentFileSystem()->Delete(building.c_str());
  stage("check");
  if (!CheckBeforeDiff(recipe, options.recipe, payload, &problems)) return false;

  // Every step: files the same in all distributions get common entries, the others their own.
  for (std::size_t v = 0; v + 1 < recipe.versions.size(); ++v) {
    const RecipeVersion& from = recipe.versions[v];
    const RecipeVersion& to = recipe.versions[v + 1];
    const std::string step = StepName(recipe, v);
    stage("step " + step + ": comparing " + std::to_string(from.trees.size()) + " tree pair(s)");
    const std::size_t count = from.trees.size();
    std::map<std::string, StepFile> files;
    for (std::size_t t = 0; t < count; ++t) {
      for (int side = 0; side < 2; ++side) {
        std::vector<TreeFile> found;
        WalkTree(side == 0 ? from.trees[t].second : to.trees[t].second, &found, &problems);
        for (const TreeFile& file : found) {
          StepFile& entry = files[UpperName(file.relative)];
          if (entry.oldSide.empty()) {
            entry.oldSide.resize(count);
            entry.newSide.resize(count);
          }
          entry.relative = file.relative;
          (side == 0 ? entry.oldSide : entry.newSide)[t] = Compared{true, file.path};
        }
      }
    }
    if (!problems.empty()) return false;
    std::vector<std::string> common;
    std::vector<std::vector<std::string>> own(count);
    for (const auto& [upper, file] : files) {
      bool shared = count == 1;
      if (!shared) {
        shared = true;
        for (std::size_t t = 0; t < count && shared; ++t) {
          shared = (file.oldSide[t].present || file.newSide[t].present) && SameFile(file.oldSide[t], file.oldSide[0]) &&
                   SameFile(file.newSide[t], file.newSide[0]);
        }
      }
      if (shared) {
        common.push_back(upper);
        continue;
      }
      for (std::size_t t = 0; t < count; ++t) {
        if (file.oldSide[t].present || file.newSide[t].present) own[t].push_back(upper);
      }
    }
    std::set<std::string> expected;
    const auto diff = [&](std::size_t tree, const std::string& tag, const std::vector<std::string>& only) {
      if (only.empty()) return true;
      DiffOptions diffOptions;
      diffOptions.oldTree = from.trees[tree].second;
      diffOptions.newTree = to.trees[tree].second;
      diffOptions.fromVersion = from.version;
      diffOptions.toVersion = to.version;
      diffOptions.payload = payload;
      diffOptions.carryNewFiles = recipe.carryNewFiles;
      diffOptions.distribution = tag;
      diffOptions.jobs = options.jobs;
      if (!options.encoder.empty()) diffOptions.encoder = options.encoder;
      diffOptions.only = only;
      diffOptions.progress = options.progress;
      DiffReport diffReport;
      const bool ok = DiffTrees(diffOptions, &diffReport);
      for (const std::string& problem : diffReport.problems) problems.push_back("step " + step + ": " + problem);
      for (const std::string& warning : diffReport.warnings) report->notes.push_back("warning: " + warning);
      expected.insert(diffReport.written.begin(), diffReport.written.end());
      report->notes.push_back("step " + step + (tag.empty() ? "" : " (" + tag + ")") + ": " +
                              std::to_string(diffReport.files) + " files: " + std::to_string(diffReport.deltas) +
                              " deltas (" + std::to_string(diffReport.upToDate) + " up to date), " +
                              std::to_string(diffReport.identical) + " identical, " + std::to_string(diffReport.added) +
                              " new, " + std::to_string(diffReport.deleted) + " deleted");
      return ok;
    };
    if (!diff(0, "", common)) return false;
    for (std::size_t t = 0; t < count; ++t) {
      if (!diff(t, from.trees[t].first, own[t])) return false;
    }
    const int removed = RemoveStaleEntries(payload + "/" + step, expected, nullptr);
    if (removed > 0) report->notes.push_back("step " + step + ": " + std::to_string(removed) + " stale entries removed");
  }

  // A checksum list for every version: the installed one is checked before patching, each reached one
  // after every file written.
  for (const RecipeVersion& version : recipe.versions) {
    stage("checksum list " + version.version);
    std::vector<ChecksumTree> trees;
    for (const auto& [tag, folder] : version.trees) trees.push_back(ChecksumTree{folder, tag});
    ChecksumReport checksums;
    if (!WriteChecksumList(trees, version.version, recipe.tolerate, payload, &checksums)) {
      for (const std::string& problem : checksums.problems) problems.push_back("checksum list " + version.version + ": " + problem);
      return false;
    }
    report->notes.push_back("checksum list " + version.version + ": " + std::to_string(checksums.lines) + " lines (" +
                            std::to_string(checksums.tolerated) + " tolerated)");
  }
  return PackAndInspect(recipe, payload, options, report);
}

}  // namespace make
