#pragma once
// The three commands of zrexample (main.cpp has their command line) and what they share.

#include <cstddef>
#include <string>
#include <vector>

namespace zrexample {

// The game's registration, read by the patch's manifest and written by the installer.
constexpr const char* kRegistryKey = "Software\\Corvanth\\Example";

struct MakeOptions {
  std::size_t scale = 1;     // MiB of map data, roughly
  bool withStep107 = false;  // a version 1.07 between 1.06 and 1.08 (three steps instead of two)
};

// make: DIR/<DISTRIBUTION>/<VERSION>/... for every distribution (or those in `only`) and
// DIR/manifest.cfg. The exit code.
int RunMake(const std::string& directory, const MakeOptions& options, const std::vector<std::string>& only);

// install: copies a version tree into the prefix's Program Files and registers it. The exit code.
int RunInstall(const std::string& tree, const std::string& prefix);

// compare: an installation against a version tree, names without regard to case, contents byte for
// byte; `extra` names (or "*suffix" patterns) the patch may add. The exit code.
int RunCompare(const std::string& expected, const std::string& installed, const std::vector<std::string>& extra);

}  // namespace zrexample
