#include "platform/shellLink.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fileSystem.h"
#include "platform/shellLinkFile.h"

namespace platform {

ComponentLibraryScope::ComponentLibraryScope() {}
ComponentLibraryScope::~ComponentLibraryScope() {}

bool CreateShellLink(const char* linkPath, const char* target, const char* description,
                     const char* workingDirectory, const char* arguments) {
  std::vector<std::uint8_t> bytes;
  if (!linkPath || !*linkPath ||
      !BuildShellLinkFile(target, description, WorkingFolderOf(workingDirectory).c_str(), arguments, &bytes)) {
    return false;
  }
  FileSystem* files = CurrentFileSystem();
  const std::string temporary = std::string(linkPath) + ".tmp";
  FileHandle out = files->OpenWrite(temporary.c_str());
  if (!IsValidFile(out)) return false;
  std::uint32_t written = 0;
  const bool complete = files->Write(out, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
                        written == bytes.size();
  const bool closed = files->Close(out);
  if (!complete || !closed || !files->RenameReplacing(temporary.c_str(), linkPath)) {
    files->Delete(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
