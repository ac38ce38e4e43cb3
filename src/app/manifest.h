#pragma once
// The patch manifest as the patch run reads it: where the game is registered, its executable, the
// version the patch produces, the distributions and how to recognise them, and the registry values,
// shortcuts and commands to apply. Loaded from the signed binary config with the binary loader only.
//
// Required keys that are missing are reported through the diagnostics ("No entry '%s'.") and read as
// empty text, 0 or false; optional keys take their defaults. Inside the classes only class entries
// count; other entries are skipped.

#include <cstdint>
#include <string>
#include <vector>

#include "install/registryUpdates.h"
#include "install/shortcuts.h"

class ParamFile;

namespace app {

struct ManifestDistribution {
  std::string tag;          // the class name; ends payload names after ".#"
  std::string displayName;  // read only when scope > 0
  int scope = 0;            // > 0: a candidate for detection; else only a parent of others
  int parent = -1;          // index of an earlier distribution, or -1
};

struct DistributionRule {
  std::string file;  // relative to the installation folder
  std::uint32_t crc = 0;
  std::vector<std::string> distributions;
};

// Registry values and shortcuts are the installation's side effects (install/).
using RegistryUpdate = install::RegistryUpdate;
using ShortcutEntry = install::Shortcut;

struct ManifestCommand {
  std::string commandLine;  // empty entries are skipped by the run
  std::string directory;
};

struct Manifest {
  std::string configApp;
  std::string targetDirectory;
  std::string displayName;
  std::string version;
  std::vector<std::string> appName;  // one text or a list
  bool isPatch = false;
  std::string addonName;             // the key "name"
  std::string requiredForPatch;
  std::string requiredForAddons;
  std::vector<ManifestDistribution> distributions;
  std::vector<DistributionRule> rules;
  std::vector<RegistryUpdate> registry;
  std::vector<ShortcutEntry> shortcuts;
  std::vector<ManifestCommand> commands;
};

// Loads the manifest's bytes with the binary loader (never as text). Returns the loader's result
// (0 on success); the tree is read even when the load reported errors, as far as it got.
int LoadManifestTree(const std::uint8_t* bytes, std::size_t size, ParamFile& file);

// Reads the whole schema from a loaded tree.
Manifest ReadManifest(const ParamFile& file);

}  // namespace app
