#pragma once
// The uninstall log: one line for every file the patch creates ("F:" + path) and for every folder on
// the way to something it creates ("D:" + path), collected during the run (the run owns the list and
// hands it to the file actions, step application and shortcuts) and appended once at its end to
// "uninstall.log" in the installation folder, so that the game's uninstaller removes them too.

#include <string>

#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"

namespace install {

// Appends the list's lines to installFolder + "\uninstall.log": each line whose file-name part ends in
// ".tmp" (any case) loses that extension; when the log exists already, lines that repeat an earlier
// line of the list or a line of the log (ignoring case) are left out. Nothing happens for an empty
// list or folder. False, with the file and the cause in *error when given, when the log could not be
// read or replaced: the uninstaller would then leave the patch's files behind.
bool WriteUninstallLog(const DynArray<RefString>& list, const char* installFolder, std::string* error = nullptr);

}  // namespace install
