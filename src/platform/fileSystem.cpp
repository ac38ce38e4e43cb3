#include "platform/fileSystem.h"

namespace platform {

namespace {
FileSystem* current = nullptr;
}

FileSystem* CurrentFileSystem() { return current ? current : NativeFileSystem(); }

std::string LastFileSystemErrorText() {
  FileSystem* files = CurrentFileSystem();
  char reason[256];
  files->ErrorText(files->LastError(), reason, sizeof reason);
  return reason;
}

FileSystem* SetFileSystem(FileSystem* fileSystem) {
  FileSystem* previous = CurrentFileSystem();
  current = fileSystem;
  return previous;
}

}  // namespace platform
