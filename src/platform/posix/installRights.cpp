#include "platform/installRights.h"

#include <unistd.h>

#include <string>

#include "platform/machine.h"

namespace platform {

bool CheckInstallRights() {
  std::string programFiles;
  if (!ToNativePath(ProgramFilesFolder().c_str(), &programFiles)) return false;
  const std::string registry = PrefixDirectory() + "/system.reg";
  return ::access(programFiles.c_str(), W_OK | X_OK) == 0 && ::access(registry.c_str(), W_OK) == 0;
}

}  // namespace platform
