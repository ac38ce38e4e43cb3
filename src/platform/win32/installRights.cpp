#include "platform/installRights.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace platform {
namespace {

// Runs an access check of `token` for `access` against a security descriptor read by `read`, which is
// called first without a buffer to learn the size.
template <class ReadDescriptor>
bool Granted(HANDLE token, DWORD access, ReadDescriptor read) {
  DWORD needed = 0;
  read(nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<unsigned char> descriptor(needed);
  if (!read(descriptor.data(), needed, &needed)) return false;
  GENERIC_MAPPING mapping = {0, GENERIC_WRITE, 0, 0};
  unsigned char privileges[20];
  DWORD privilegesLength = sizeof privileges;
  DWORD grantedAccess = 0;
  BOOL granted = FALSE;
  return AccessCheck(descriptor.data(), token, access, &mapping, reinterpret_cast<PRIVILEGE_SET*>(privileges),
                     &privilegesLength, &grantedAccess, &granted) &&
         granted;
}

const SECURITY_INFORMATION kDescriptorParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

bool ProgramFilesWritable(HANDLE token) {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return false;
  }
  return Granted(token, FILE_GENERIC_WRITE, [&](void* buffer, DWORD size, DWORD* needed) {
    return GetFileSecurityW(folder, kDescriptorParts, buffer, size, needed) != 0;
  });
}

bool SoftwareKeyWritable(HANDLE token) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const bool granted = Granted(token, KEY_WRITE, [&](void* buffer, DWORD size, DWORD* needed) {
    *needed = size;
    const LONG result = RegGetKeySecurity(key, kDescriptorParts, buffer, needed);
    return result == ERROR_SUCCESS;
  });
  RegCloseKey(key);
  return granted;
}

}  // namespace

bool CheckInstallRights() {
  // The process's own token, taken through impersonation so that it can be used for access checks.
  if (!ImpersonateSelf(SecurityImpersonation)) return false;
  HANDLE token = nullptr;
  const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE | READ_CONTROL, FALSE, &token);
  RevertToSelf();
  if (!opened) return false;
  const bool rights = ProgramFilesWritable(token) && SoftwareKeyWritable(token);
  CloseHandle(token);
  return rights;
}

}  // namespace platform
