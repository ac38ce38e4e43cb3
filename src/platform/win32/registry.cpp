#include "platform/registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/wideText.h"

namespace platform {
namespace {

HKEY Root(RegistryHive hive) { return hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

// The patch program is a 32-bit program and sees the 32-bit view of the registry; a 64-bit build (the
// tests') asks for that view too, so that it finds what the product finds.
constexpr REGSAM kView = KEY_WOW64_32KEY;

std::string SystemText(LONG code) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0, text,
                 sizeof text, nullptr);
  std::string result = text;
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) result.pop_back();
  return result;
}

class Win32Registry : public Registry {
 public:
  bool ReadString(RegistryHive hive, const char* path, const char* name, std::string* value) override {
    HKEY key;
    if (RegOpenKeyExW(Root(hive), WideText(path).c_str(), 0, KEY_READ | kView, &key) != ERROR_SUCCESS) return false;
    const std::wstring valueName = WideText(name);
    DWORD type = 0;
    DWORD size = 0;
    bool read = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
                (type == REG_SZ || type == REG_EXPAND_SZ);
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    read = read && RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
                       ERROR_SUCCESS;
    RegCloseKey(key);
    // The stored text may or may not end with its zero.
    if (read) *value = Utf8Text(data.data(), static_cast<int>(wcsnlen(data.data(), size / sizeof(wchar_t))));
    return read;
  }

  bool WriteString(RegistryHive hive, const char* path, const char* name, const char* value,
                   std::string* error) override {
    HKEY key;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExW(Root(hive), WideText(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | kView, nullptr,
                                  &key, &disposition);
    if (result != ERROR_SUCCESS) {
      *error = "cannot open or create the key " + std::string(path) + ": " + SystemText(result);
      return false;
    }
    // The text with its terminating zero.
    const std::wstring text = WideText(value);
    result = RegSetValueExW(key, WideText(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
      *error = "cannot set " + std::string(path) + "\\" + name + ": " + SystemText(result);
      return false;
    }
    return true;
  }

  bool CanWrite(RegistryHive hive, const char* path, std::string* error) override {
    // The key itself when it exists, else the deepest ancestor, which must let a key be made below it.
    std::string key = path;
    for (;;) {
      HKEY opened;
      const REGSAM access = (key.size() == std::strlen(path) ? KEY_SET_VALUE : 0) | KEY_CREATE_SUB_KEY | kView;
      const LONG result = RegOpenKeyExW(Root(hive), key.empty() ? nullptr : WideText(key).c_str(), 0, access, &opened);
      if (result == ERROR_SUCCESS) {
        RegCloseKey(opened);
        return true;
      }
      if (result != ERROR_FILE_NOT_FOUND || key.empty()) {
        *error = "cannot open the key " + (key.empty() ? std::string("(the hive)") : key) + " for writing: " +
                 SystemText(result);
        return false;
      }
      const std::size_t separator = key.find_last_of('\\');
      key = separator == std::string::npos ? std::string() : key.substr(0, separator);
    }
  }
};

}  // namespace

Registry* NativeRegistry() {
  static Win32Registry registry;
  return &registry;
}

}  // namespace platform
