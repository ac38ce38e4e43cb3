#include "platform/fileSystem.h"

namespace platform {

namespace {
FileSystem* current = nullptr;
}

FileSystem* CurrentFileSystem() { return current ? current : NativeFileSystem(); }

FileSystem* SetFileSystem(FileSystem* fileSystem) {
  FileSystem* previous = CurrentFileSystem();
  current = fileSystem;
  return previous;
}

}  // namespace platform
