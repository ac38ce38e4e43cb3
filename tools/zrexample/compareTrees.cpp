// compare: an installation against a version tree as Windows would see it.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "exampleGame.h"
#include "platform/nameFolding.h"

namespace zrexample {
namespace {

namespace fs = std::filesystem;

// The relative paths of every file below `folder` (slashes), keyed by their case-folded form.
std::map<std::string, std::string> FilesByFoldedName(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), folder).generic_string();
    files[platform::FoldNameCase(relative)] = relative;
  }
  return files;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// Compares an installation with a version tree as Windows would: names without regard to case,
// contents byte for byte. Files the patch adds besides the tree (`extra` names) are allowed.
int RunCompare(const std::string& expected, const std::string& installed, const std::vector<std::string>& extra) {
  const auto want = FilesByFoldedName(expected);
  auto have = FilesByFoldedName(installed);
  int differences = 0;
  for (const auto& file : want) {
    const auto found = have.find(file.first);
    if (found == have.end()) {
      std::printf("missing: %s\n", file.second.c_str());
      ++differences;
      continue;
    }
    if (Contents(fs::path(expected) / file.second) != Contents(fs::path(installed) / found->second)) {
      std::printf("different: %s\n", found->second.c_str());
      ++differences;
    }
    have.erase(found);
  }
  for (const auto& file : have) {
    bool allowed = false;
    for (const std::string& name : extra) {
      const std::string base = fs::path(file.second).filename().string();
      allowed = allowed || platform::SameNameIgnoringCase(base, name) ||
                (name.size() > 1 && name[0] == '*' && base.size() >= name.size() - 1 &&
                 platform::SameNameIgnoringCase(base.substr(base.size() - (name.size() - 1)), name.substr(1)));
    }
    if (!allowed) {
      std::printf("extra: %s\n", file.second.c_str());
      ++differences;
    }
  }
  if (differences == 0) std::printf("zrexample: %zu files equal, byte for byte\n", want.size());
  return differences == 0 ? 0 : 1;
}

}  // namespace zrexample
