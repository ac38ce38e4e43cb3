#pragma once
// The files of an installation tree, as a publisher's tool walks it: every file below the root with its
// relative path in the installation's own spelling, backslashes between the components, sorted the way
// the patch store sorts entry names (by their upper-case spelling).
//
// The walk refuses what the patch program could not reproduce on the player's machine, each with a
// line naming the tree (the root as given) and the entry ("game/1.06: Data\Map.pak: ..."): names that differ only in case (Windows would see one file), names Windows
// cannot hold (reserved characters, control characters, a trailing dot or blank, device names such as
// CON), paths deeper than kMaxTreeDepth folders or longer than kMaxRelativePath characters, and
// symbolic links that lead out of the tree, lead nowhere, or lead to a folder (links are not followed
// into folders, so a walk never loops). A link to a file inside the tree counts as that file.

#include <cstddef>
#include <string>
#include <vector>

namespace make {

constexpr int kMaxTreeDepth = 64;
constexpr std::size_t kMaxRelativePath = 240;

struct TreeFile {
  std::string relative;  // "Data\Maps\Intro.map", spelled as in the tree
  std::string path;      // root + the relative path, for opening
};

// True when one component of a path is a name Windows can hold (see above).
bool IsLegalWindowsName(const std::string& name);

// Walks `root`. False, with one line per problem in *problems, when the root cannot be listed or any
// entry is refused; *files then holds what could be walked.
bool WalkTree(const std::string& root, std::vector<TreeFile>* files, std::vector<std::string>* problems);

// The upper-case form of a name, every letter as Windows upper-cases it: the patch store's spelling,
// and its order.
std::string UpperName(const std::string& name);

// True when `text` matches `pattern` ignoring ASCII case: '*' stands for any run of characters
// (also across backslashes), '?' for one character; '/' in the pattern matches '\' in the text.
bool MatchesPattern(const std::string& pattern, const std::string& text);

}  // namespace make
