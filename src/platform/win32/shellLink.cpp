#include "platform/shellLink.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "platform/shellLinkFile.h"

namespace platform {

ComponentLibraryScope::ComponentLibraryScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

ComponentLibraryScope::~ComponentLibraryScope() {
  if (initialised_) CoUninitialize();
}

bool CreateShellLink(const char* linkPath, const char* target, const char* description,
                     const char* workingDirectory, const char* arguments) {
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  // The link's settings; a refused one leaves that field empty, as the shell decides.
  link->SetPath(target ? target : "");
  link->SetDescription(description ? description : "");
  link->SetArguments(arguments ? arguments : "");
  link->SetWorkingDirectory(WorkingFolderOf(workingDirectory).c_str());

  bool saved = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    WCHAR widePath[MAX_PATH];
    // A name that does not fit is not saved at all rather than saved under a cut name.
    if (MultiByteToWideChar(CP_ACP, 0, linkPath ? linkPath : "", -1, widePath, MAX_PATH) > 0) {
      saved = SUCCEEDED(file->Save(widePath, TRUE));
    }
    file->Release();
  }
  link->Release();
  return saved;
}

}  // namespace platform
