#include "install/registryUpdates.h"

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

namespace {

platform::RegistryHive HiveOf(const RegistryUpdate& update) {
  return update.user ? platform::RegistryHive::CurrentUser : platform::RegistryHive::LocalMachine;
}

std::string KeyName(const RegistryUpdate& update) {
  return std::string(update.user ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + update.path;
}

}  // namespace

bool CanUpdateRegistry(const std::vector<RegistryUpdate>& updates, const std::string& distribution,
                       std::vector<std::string>* problems) {
  platform::Registry* registry = platform::CurrentRegistry();
  bool writable = true;
  for (const RegistryUpdate& update : updates) {
    if (!RegistryUpdateApplies(update, distribution)) continue;
    std::string error;
    if (!registry->CanWrite(HiveOf(update), update.path.c_str(), &error)) {
      problems->push_back("The registry key " + KeyName(update) + " cannot be written: " + error);
      writable = false;
    }
  }
  return writable;
}

bool UpdateRegistry(const std::vector<RegistryUpdate>& updates, const std::string& distribution,
                    std::vector<std::string>* problems) {
  platform::Registry* registry = platform::CurrentRegistry();
  bool written = true;
  for (const RegistryUpdate& update : updates) {
    if (!RegistryUpdateApplies(update, distribution)) continue;
    std::string error;
    if (!registry->WriteString(HiveOf(update), update.path.c_str(), update.name.c_str(), update.value.c_str(), &error)) {
      problems->push_back("The registry value " + KeyName(update) + "\\" + update.name + " was not written: " + error);
      written = false;
    }
  }
  return written;
}

}  // namespace install
