#pragma once
// The registry values a patch's manifest lists, written once every file of the run is in place. Each
// key is checked for write access before the first file changes, and a value that still cannot be
// written fails the run: a game whose files were patched but whose settings were lost is not updated.
// None is recorded for the uninstaller.

#include <string>
#include <vector>

namespace install {

struct RegistryUpdate {
  bool user = false;  // HKEY_CURRENT_USER, else HKEY_LOCAL_MACHINE
  std::string path;   // below the hive, backslash-separated
  std::string name;   // "" is the key's default value
  std::string value;
  bool hasDistributions = false;  // a present but empty list means never
  std::vector<std::string> distributions;
};

// True when `update` applies to an installation of `distribution` ("" when there is none): without a
// list always, with one when it names the distribution (ignoring case).
bool RegistryUpdateApplies(const RegistryUpdate& update, const std::string& distribution);

// Whether every applicable value could be written now, changing nothing; each one that could not is
// described in `problems` (the key and the cause).
bool CanUpdateRegistry(const std::vector<RegistryUpdate>& updates, const std::string& distribution,
                       std::vector<std::string>* problems);

// Writes every applicable value, in order, as a string value, creating the keys on the way. A value
// that cannot be written is described in `problems` and the others are still written; false when any
// failed.
bool UpdateRegistry(const std::vector<RegistryUpdate>& updates, const std::string& distribution,
                    std::vector<std::string>* problems);

}  // namespace install
