#pragma once
// A registry that forwards to the platform's own and refuses where a test asks: reads (a key that is
// not there) or writes (a hive the user may not change). It installs itself while it lives and
// records every write it was asked for.

#include <string>
#include <vector>

#include "platform/registry.h"

class FaultInjectingRegistry : public platform::Registry {
 public:
  FaultInjectingRegistry() : native_(platform::NativeRegistry()), previous_(platform::SetRegistry(this)) {}
  ~FaultInjectingRegistry() override { platform::SetRegistry(previous_); }
  FaultInjectingRegistry(const FaultInjectingRegistry&) = delete;
  FaultInjectingRegistry& operator=(const FaultInjectingRegistry&) = delete;

  bool failReads = false;
  bool failMachineWrites = false;  // as for a user without rights to HKEY_LOCAL_MACHINE
  std::vector<std::string> writes;  // "HKLM|HKCU\path\name=value" of every write asked for

  bool ReadString(platform::RegistryHive hive, const char* path, const char* name, std::string* value) override {
    return !failReads && native_->ReadString(hive, path, name, value);
  }
  bool WriteString(platform::RegistryHive hive, const char* path, const char* name, const char* value,
                   std::string* error) override {
    const bool machine = hive == platform::RegistryHive::LocalMachine;
    writes.push_back(std::string(machine ? "HKLM\\" : "HKCU\\") + path + "\\" + name + "=" + value);
    if (machine && failMachineWrites) {
      *error = "access denied";
      return false;
    }
    return native_->WriteString(hive, path, name, value, error);
  }
  bool CanWrite(platform::RegistryHive hive, const char* path, std::string* error) override {
    if (hive == platform::RegistryHive::LocalMachine && failMachineWrites) {
      *error = "access denied";
      return false;
    }
    return native_->CanWrite(hive, path, error);
  }

 private:
  platform::Registry* native_;
  platform::Registry* previous_;
};
