#pragma once
// What the search for launchers' prefixes shares (launcherPrefixes.h): reading a launcher's file
// safely through the file system seam, paths, the Wine builds launchers keep, and one search per
// launcher.

#include <string>
#include <vector>

#include "launchers/settingsTree.h"
#include "platform/launcherPrefixes.h"

namespace platform {
namespace launcherfiles {

enum class Format { Vdf, Yaml, Json };

// The path with every link resolved (through the seam); "" when it does not exist.
std::string Resolved(const std::string& path);
bool IsFolder(const std::string& path);
// Whether there is anything of that name, a link that leads nowhere included.
bool IsThere(const std::string& path);
// A folder with drive_c/ or dosdevices/, as SelectPrefix accepts it.
bool IsPrefix(const std::string& path);
// The names in a folder, sorted; none when it cannot be listed.
std::vector<std::string> FolderNames(const std::string& folder);

// An absolute path without control characters or backslashes, as a launcher's file may name a folder.
bool IsUsablePath(const std::string& path);
// One component of a path: not empty, not "." or "..", no separator, no control characters.
bool IsUsableName(const std::string& name);
// The folder part of a path ("/a/b" for "/a/b/c").
std::string FolderOf(const std::string& path);
// The last component of a path.
std::string NameOf(const std::string& path);

// Reads the file `path` into *text when it is a regular file, lies inside the folder `root` once its
// links are resolved (a link that leads out of the launcher's folder is refused) and holds at most
// `limit` bytes. False with the reason in *problem.
bool ReadLauncherFile(const std::string& path, const std::string& root, std::size_t limit, std::string* text,
                      std::string* problem);

// ReadLauncherFile, then the text read into a tree. False when there is no such file; false, with
// "<path>: <reason>" added to the search's problems, when it cannot be read or is no file of its kind.
bool ReadSettings(const std::string& path, const std::string& root, Format format, launchers::Node* tree,
                  PrefixSearch* search);

// The Wine build a launcher names by its wine program (".../bin/wine"): the system's when that is in a
// system folder, the build around it otherwise, unavailable when it is missing.
PrefixWine WineOfProgram(const std::string& program, const std::string& name);
// The Wine build in `folder` (holding bin/wine or bin/wine64), unavailable when there is none.
PrefixWine WineBuildIn(const std::string& folder, const std::string& name, const std::string& whose);

// The searches of each launcher, adding what they find to *search.
void FindSteamPrefixes(const LauncherHome& home, PrefixSearch* search);
void FindLutrisPrefixes(const LauncherHome& home, PrefixSearch* search);
void FindHeroicPrefixes(const LauncherHome& home, PrefixSearch* search);
void FindBottlesPrefixes(const LauncherHome& home, PrefixSearch* search);

}  // namespace launcherfiles
}  // namespace platform
