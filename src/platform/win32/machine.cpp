#include "platform/machine.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/win32/wideText.h"

namespace platform {

bool SelectPrefix(const char*, std::string*) { return true; }

std::string PrefixDirectory() { return std::string(); }

void SelectPrefixWine(const PrefixWine&) {}

PrefixWine SelectedPrefixWine() { return PrefixWine(); }

bool MachineIs64Bit() {
  // A 32-bit process on 64-bit Windows runs under WOW64; a 64-bit build is 64-bit by itself.
  if (sizeof(void*) == 8) return true;
  typedef BOOL(WINAPI * IsWow64ProcessFunction)(HANDLE, PBOOL);
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string ProgramFilesFolder() {
  wchar_t path[MAX_PATH];
  // A 64-bit build (the tests') answers with the folder the 32-bit product sees.
  const int folder = sizeof(void*) == 8 ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES;
  if (FAILED(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path))) return std::string();
  return Utf8Text(path);
}

bool CommonProgramsFolder(std::string* folder) {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
  *folder = Utf8Text(path);
  return true;
}

bool TemporaryFolder(std::string* folder) {
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return false;
  *folder = Utf8Text(path);
  return true;
}

bool ToNativePath(const char* name, std::string* native) {
  native->assign(name ? name : "");
  for (char& c : *native) {
    if (c == '/') c = '\\';
  }
  return true;
}

bool ToWindowsPath(const std::string& native, std::string* name) { return ToNativePath(native.c_str(), name); }

}  // namespace platform
