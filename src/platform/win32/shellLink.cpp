#include "platform/shellLink.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "platform/shellLinkFile.h"
#include "platform/win32/wideText.h"

namespace platform {

ComponentLibraryScope::ComponentLibraryScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

ComponentLibraryScope::~ComponentLibraryScope() {
  if (initialised_) CoUninitialize();
}

bool CreateShellLink(const char* linkPath, const char* target, const char* description,
                     const char* workingDirectory, const char* arguments) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  // The link's settings; a refused one leaves that field empty, as the shell decides.
  link->SetPath(WideText(target).c_str());
  link->SetDescription(WideText(description).c_str());
  link->SetArguments(WideText(arguments).c_str());
  link->SetWorkingDirectory(WideText(WorkingFolderOf(workingDirectory)).c_str());

  bool saved = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    const std::wstring widePath = WideText(linkPath);
    if (!widePath.empty()) saved = SUCCEEDED(file->Save(widePath.c_str(), TRUE));
    file->Release();
  }
  link->Release();
  return saved;
}

}  // namespace platform
