#pragma once
// The registry seam: reading the game's registration and writing the values a patch's manifest names.
//
// Windows: the system's registry functions (a 32-bit program sees HKEY_LOCAL_MACHINE\Software through
// the WOW6432Node view on 64-bit Windows by itself). Linux: the selected prefix's registry files,
// system.reg for the machine hive and user.reg for the user's, read and written by our own code
// (wineRegistryFile.h); in a 64-bit prefix, machine keys below Software go to Software\Wow6432Node as
// they do for a 32-bit program on Windows. A write replaces the file in one rename, and is refused,
// changing nothing, while a wineserver serves the prefix (it would write its own copy over ours).

#include <string>

namespace platform {

enum class RegistryHive { LocalMachine, CurrentUser };

class Registry {
 public:
  virtual ~Registry() = default;
  // The text of a string value (REG_SZ, or REG_EXPAND_SZ as stored) of key `path` (backslashes between
  // components) in `hive`; `name` "" is the key's default value. False when the key or the value is
  // missing or not a text.
  virtual bool ReadString(RegistryHive hive, const char* path, const char* name, std::string* value) = 0;
  // Opens `path` for writing, creating it and the keys on its way when missing, and sets `name` to
  // `value` as a string value, replacing a value of another type. False, with the reason in *error,
  // when the key cannot be created or the value cannot be set.
  virtual bool WriteString(RegistryHive hive, const char* path, const char* name, const char* value,
                           std::string* error) = 0;
  // Whether a value of key `path` could be written now, changing nothing: the key (or the deepest of
  // its ancestors that exists, where it is missing) can be written, and on Linux no wineserver serves
  // the prefix and its hive file is readable, whole and writable. False, with the cause in *error.
  virtual bool CanWrite(RegistryHive hive, const char* path, std::string* error) = 0;
};

// The process-wide registry; never null.
Registry* CurrentRegistry();
// Replaces it (null restores the platform's own) and returns the previous one.
Registry* SetRegistry(Registry* registry);
// The platform's own implementation, for wrappers that inject faults and forward the rest.
Registry* NativeRegistry();

}  // namespace platform
