#pragma once
// Where the game is installed and which version it is: the folder its registration names, and the
// first of its executables that carries a version text.

#include <string>
#include <vector>

namespace app {

// The longest folder and version texts the run accepts (the buffers of the original program).
constexpr std::size_t kFolderLimit = 259;
constexpr std::size_t kVersionTextLimit = 259;

// The value "MAIN" of HKEY_LOCAL_MACHINE\`configApp`, ending with a backslash. False when the key or
// the value is missing, empty, or too long for the folder limit.
bool FindInstallFolder(const std::string& configApp, std::string* installFolder);

// True when the file can be opened for reading.
bool FileExists(const std::string& path);

// The executables named by `appName` that exist, in the order they are tried for a version: for each
// name, the one in the target subfolder (when there is one) before the one in the installation folder.
std::vector<std::string> FindExecutables(const std::vector<std::string>& appName, const std::string& installFolder,
                                         const std::string& targetDirectory);

// The first of `executables` whose version resource has a US-English "FileVersion": its text and
// path. False when none has.
bool FindInstalledVersion(const std::vector<std::string>& executables, std::string* versionText,
                          std::string* executable);

}  // namespace app
