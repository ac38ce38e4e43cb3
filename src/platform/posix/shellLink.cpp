#include "platform/shellLink.h"

#include "platform/shellLinkFile.h"

namespace platform {

// Linux has no component library: links are files the program writes itself.
ComponentLibraryScope::ComponentLibraryScope() {}
ComponentLibraryScope::~ComponentLibraryScope() {}

bool CreateShellLink(const char* linkPath, const char* target, const char* description,
                     const char* workingDirectory, const char* arguments) {
  return WriteShellLinkFile(linkPath, target, description, WorkingFolderOf(workingDirectory).c_str(), arguments);
}

}  // namespace platform
