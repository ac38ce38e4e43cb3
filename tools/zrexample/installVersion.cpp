// install: a version of the example game put into a Wine prefix the way the game's own installer
// would (its folder under Program Files and its registration), without running Wine.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "exampleGame.h"
#include "platform/machine.h"
#include "platform/registry.h"

namespace zrexample {
namespace {

namespace fs = std::filesystem;

const char* const kFolderName = "Example Game";

// A registry file as Wine starts one, for a prefix that has none yet.
void CreateRegistryFile(const fs::path& path, const char* root, bool machine) {
  if (fs::exists(path)) return;
  std::ofstream out(path, std::ios::binary);
  out << "WINE REGISTRY Version 2\n;; All keys relative to " << root << "\n\n";
  if (machine) out << "#arch=win64\n";  // as Wine makes prefixes by default
}

}  // namespace

int RunInstall(const std::string& tree, const std::string& prefix) {
  std::error_code code;
  // A prefix that does not exist yet is made with what the patch needs: drive C and the registry.
  fs::create_directories(fs::path(prefix) / "drive_c", code);
  CreateRegistryFile(fs::path(prefix) / "system.reg", "\\\\Machine", true);
  CreateRegistryFile(fs::path(prefix) / "user.reg", "\\\\User\\\\S-1-5-21-0-0-0-1000", false);
  std::string error;
  if (!platform::SelectPrefix(prefix.c_str(), &error)) {
    std::fprintf(stderr, "zrexample: %s\n", error.c_str());
    return 1;
  }
  const std::string folder = platform::ProgramFilesFolder() + "\\" + kFolderName;
  std::string native;
  if (!platform::ToNativePath(folder.c_str(), &native)) {
    std::fprintf(stderr, "zrexample: cannot map %s into the prefix\n", folder.c_str());
    return 1;
  }
  fs::remove_all(native, code);
  fs::create_directories(native, code);
  fs::copy(tree, native, fs::copy_options::recursive, code);
  if (code) {
    std::fprintf(stderr, "zrexample: cannot copy %s to %s: %s\n", tree.c_str(), native.c_str(), code.message().c_str());
    return 1;
  }
  if (!platform::CurrentRegistry()->WriteString(platform::RegistryHive::LocalMachine, kRegistryKey, "MAIN",
                                                folder.c_str(), &error)) {
    std::fprintf(stderr, "zrexample: cannot register the game: %s\n", error.c_str());
    return 1;
  }
  std::printf("zrexample: installed %s as %s (HKEY_LOCAL_MACHINE\\%s MAIN)\n", tree.c_str(), folder.c_str(),
              kRegistryKey);
  return 0;
}

}  // namespace zrexample
