#include "install/registryUpdates.h"

#include "El/Common/appFrame.h"
#include "Es/Containers/nameText.h"
#include "platform/registry.h"

namespace install {

bool RegistryUpdateApplies(const RegistryUpdate& update, const std::string& distribution) {
  if (!update.hasDistributions) return true;
  for (const std::string& listed : update.distributions) {
    if (EqualIgnoringCase(listed, distribution)) return true;
  }
  return false;
}

void UpdateRegistry(const std::vector<RegistryUpdate>& updates, const std::string& distribution) {
  platform::Registry* registry = platform::CurrentRegistry();
  for (const RegistryUpdate& update : updates) {
    if (!RegistryUpdateApplies(update, distribution)) continue;
    const platform::RegistryHive hive =
        update.user ? platform::RegistryHive::CurrentUser : platform::RegistryHive::LocalMachine;
    std::string error;
    if (!registry->WriteString(hive, update.path.c_str(), update.name.c_str(), update.value.c_str(), &error)) {
      LogF("Registry value %s\\%s not written: %s", update.path.c_str(), update.name.c_str(), error.c_str());
    }
  }
}

}  // namespace install
