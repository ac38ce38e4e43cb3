#pragma once
// The Windows machine the patch program works on.
//
// On Windows it is the running system. On Linux it is a Wine or Proton prefix: a folder holding
// drive_c/, dosdevices/ and the registry files system.reg and user.reg. The core speaks Windows-form
// paths ("C:\Games\Example\Data\Map.pak") and registry keys on both; the Linux services map them into
// the selected prefix.

#include <string>

namespace platform {

// Chooses the prefix the Linux services work on: `directory` when given, else $WINEPREFIX, else
// ~/.wine. False, with the reason in *error, when that folder does not exist or is not a prefix (no
// drive_c/ and no dosdevices/). On Windows it does nothing and returns true.
bool SelectPrefix(const char* directory, std::string* error);

// The native path of the selected prefix without a trailing '/' (chosen by the rule above on first use
// when SelectPrefix was never called); "" on Windows.
std::string PrefixDirectory();

// The Wine that runs the selected prefix's Windows programs (Linux; Windows runs them itself). A game
// launcher runs its prefixes with a Wine build of its own: Steam with the Proton that made the prefix,
// Lutris, Bottles and Heroic with the one their settings name. Running a prefix with another Wine may
// update it to that Wine's version behind the launcher's back, so a prefix whose own Wine cannot be run
// has its programs refused rather than handed to the system's.
struct PrefixWine {
  enum class Kind {
    System,      // the system's Wine
    Build,       // the Wine build in `folder`, whose bin/ holds wine64 or wine
    Unavailable  // none can run the prefix's programs; `reason` says why
  };
  Kind kind = Kind::System;
  std::string folder;
  std::string name;    // as the launcher names it ("Proton 8.0", "lutris-7.2-2-x86_64"), for messages
  std::string reason;
};

// Chooses the Wine for the selected prefix's programs (SelectPrefix chooses the system's), and tells
// which is chosen. Windows: nothing to choose; always the default.
void SelectPrefixWine(const PrefixWine& wine);
PrefixWine SelectedPrefixWine();

// True when the machine is 64-bit: a 64-bit Windows, or a prefix whose system.reg says "#arch=win64"
// (a prefix without that line is 64-bit, as Wine creates them). The 32-bit patch program then sees
// "C:\Program Files (x86)" as its Program Files folder and HKEY_LOCAL_MACHINE\Software through the
// WOW6432Node view.
bool MachineIs64Bit();

// The Program Files folder the 32-bit patch program sees, in Windows form without a trailing
// backslash: "C:\Program Files (x86)" on a 64-bit machine, "C:\Program Files" otherwise (Windows: the
// shell's folder). "" when it cannot be had.
std::string ProgramFilesFolder();

// The all-users start-menu programs folder in Windows form without a trailing backslash (Windows: the
// shell's folder; Linux: "C:\ProgramData\Microsoft\Windows\Start Menu\Programs", where Wine keeps
// it). False when there is none.
bool CommonProgramsFolder(std::string* folder);
// The temporary folder in Windows form ending with a backslash, as GetTempPathA gives it. Linux: the
// prefix user's Temp folder (C:\users\<user>\Temp, or AppData\Local\Temp where the prefix has
// that instead), created when missing, so that files moved from it into the game stay on one volume.
// False when there is none.
bool TemporaryFolder(std::string* folder);

// The native path for a name in the program's own form. Linux: a drive letter is mapped into the
// prefix, every existing component is matched against the folder's real entries without regard to
// case, and components that do not exist yet keep the spelling given. Windows: the name with
// backslashes. False when the name cannot be mapped (an unknown drive, for example).
bool ToNativePath(const char* name, std::string* native);

// The program's own name for an existing native folder or file, the way back of ToNativePath. Linux:
// the path with its links resolved, on the drive of the selected prefix that holds it: C: for drive_c,
// else the drive whose dosdevices link leads to the folder nearest above it, else Z: for the root;
// backslashes between its components. Windows: the name as given, with backslashes. False when the path
// does not exist or holds a backslash in a name (which the Windows form cannot tell from a separator).
bool ToWindowsPath(const std::string& native, std::string* name);

}  // namespace platform
