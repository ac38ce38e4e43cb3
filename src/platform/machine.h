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

}  // namespace platform
