#pragma once
// The registry values a patch's manifest lists, written once every file of the run is in place.
// Failures are silent: the patch's outcome never depends on them, and none is recorded for the
// uninstaller.

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

// Writes every applicable value, in order, as a string value, creating the keys on the way. A key that
// cannot be created is skipped; the reason goes to the diagnostics log.
void UpdateRegistry(const std::vector<RegistryUpdate>& updates, const std::string& distribution);

}  // namespace install
