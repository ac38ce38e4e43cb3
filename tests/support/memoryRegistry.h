#pragma once
// A registry held in memory for tests of the patch run: keys compared without regard to case, as the
// system's are. It installs itself while it lives; machine writes can be refused.

#include <map>
#include <string>

#include "Es/Containers/nameText.h"
#include "platform/registry.h"

class MemoryRegistry : public platform::Registry {
 public:
  MemoryRegistry() : previous_(platform::SetRegistry(this)) {}
  ~MemoryRegistry() override { platform::SetRegistry(previous_); }
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  bool refuseMachineWrites = false;
  // The refusal comes only with the write itself, as when rights change after the check before the run.
  bool refuseOnlyWhenWriting = false;

  // "HKLM\path\name" or "HKCU\path\name", upper-cased, to the value.
  std::map<std::string, std::string> values;

  static std::string Key(platform::RegistryHive hive, const std::string& path, const std::string& name) {
    return UpperAscii(std::string(hive == platform::RegistryHive::LocalMachine ? "HKLM\\" : "HKCU\\") + path + "\\" +
                      name);
  }
  bool ReadString(platform::RegistryHive hive, const char* path, const char* name, std::string* value) override {
    const auto found = values.find(Key(hive, path, name));
    if (found == values.end()) return false;
    *value = found->second;
    return true;
  }
  bool WriteString(platform::RegistryHive hive, const char* path, const char* name, const char* value,
                   std::string* error) override {
    if (refuseMachineWrites && hive == platform::RegistryHive::LocalMachine) {
      *error = "access denied";
      return false;
    }
    values[Key(hive, path, name)] = value;
    return true;
  }
  bool CanWrite(platform::RegistryHive hive, const char*, std::string* error) override {
    if (refuseMachineWrites && !refuseOnlyWhenWriting && hive == platform::RegistryHive::LocalMachine) {
      *error = "access denied";
      return false;
    }
    return true;
  }

 private:
  platform::Registry* previous_;
};
