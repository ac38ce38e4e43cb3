#pragma once
// The shortcuts a patch's manifest lists: placed in the installation folder or in a group of the
// all-users start menu, for the distributions they are meant for, and recorded for the uninstaller.
// Their folders are checked before the first file changes; a link that still cannot be made fails the
// run, naming it and the cause.

#include <string>
#include <vector>

#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"

namespace install {

struct Shortcut {
  std::string source;  // the link's name without ".lnk"
  std::string destination, arguments, workingDirectory, startMenuGroup, description;
  std::vector<std::string> includeDistributions, excludeDistributions;
};

// A value that neither begins with a separator nor holds ".." or a colon, made absolute against the
// installation folder; any other value as it is.
std::string ResolveInstallPath(const std::string& value, const std::string& installFolder);

// True when the shortcut is meant for `distribution`: named by a non-empty include list (or the list
// empty) and not named by the exclude list, both ignoring case.
bool ShortcutApplies(const Shortcut& shortcut, const std::string& distribution);

// The full name of the link file: in the start-menu group below `commonPrograms` when the shortcut has
// a group, else the resolved source; ".lnk" appended.
std::string ShortcutLinkPath(const Shortcut& shortcut, const std::string& installFolder,
                             const std::string& commonPrograms);

// Whether every applicable shortcut could be made now, changing nothing: the deepest folder of its link
// path that exists is a folder in which a file can be created. Each one that could not is described in
// `problems`.
bool CanCreateShortcuts(const std::vector<Shortcut>& shortcuts, const std::string& installFolder,
                        const std::string& distribution, std::vector<std::string>* problems);

// Creates every applicable shortcut, in order: its folders (each recorded as a "D:" line), the link,
// and an "F:" line for it in `uninstallList`. A shortcut that cannot be made is described in
// `problems` and the others are still made; false when any failed.
bool CreateShortcuts(const std::vector<Shortcut>& shortcuts, const std::string& installFolder,
                     DynArray<RefString>& uninstallList, const std::string& distribution,
                     std::vector<std::string>* problems);

}  // namespace install
