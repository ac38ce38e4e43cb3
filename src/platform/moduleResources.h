#pragma once
// Resource access: the payload store's entries, the message table's strings and executables' version
// texts. On Windows the system's resource functions serve it (the executable loaded as a data file);
// on Linux the portable PE reader does, reading the file a piece at a time, so the Linux program reads
// a Windows patch executable. The payload store uses the portable reader on both (PortableResourceAccess):
// an entry is read in bounded pieces, so a patch larger than the address space can still be read.
//
// Texts come back as the platform's narrow text: the ANSI code page on Windows, UTF-8 on Linux.
// Buffers receive at most size - 1 bytes and a terminating NUL (size 0: nothing is written).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The resources of one executable, open until the object is destroyed.
class ModuleResources {
 public:
  virtual ~ModuleResources() = default;

  // Calls `visit` for each string name of the RCDATA resources, in ascending order of their
  // upper-case spelling; names given as integer identifiers are skipped.
  virtual void EnumerateEntryNames(void (*visit)(const char* name, void* context), void* context) = 0;
  // Where the bytes of RCDATA resource `name` are (case does not matter; "#12" is the identifier 12):
  // `position`, a place to give ReadEntry, and their size. False when there is none.
  virtual bool FindEntry(const char* name, std::uint64_t* position, std::uint32_t* size) = 0;
  // Exactly `size` bytes from `position` on, inside an entry FindEntry gave. False, with the reason in
  // *error, when they cannot be read. Safe to call from several threads at once.
  virtual bool ReadEntry(std::uint64_t position, void* buffer, std::size_t size, std::string* error) = 0;
  // String `id` from the string table of exactly `language`: false (buffer untouched) when the module
  // has no block of that language for it; true with the text, possibly empty, otherwise.
  virtual bool StringInLanguage(unsigned id, unsigned language, char* buffer, std::size_t size) = 0;
  // String `id` by the system's standard string loading (the language-neutral table first); an empty
  // text when the module has none.
  virtual void DefaultString(unsigned id, char* buffer, std::size_t size) = 0;
};

class ResourceAccess {
 public:
  virtual ~ResourceAccess() = default;
  // Opens the resources of the executable at `path`, or of the running program when `path` is null.
  // Null, with the reason in *error, when the file cannot be opened or is not a readable executable.
  virtual std::unique_ptr<ModuleResources> Open(const char* path, std::string* error) = 0;
  // The text at "\StringFileInfo\040904b0\FileVersion" of the executable's version resource (no other
  // language is tried), or an empty text when the file, the resource or the text is missing.
  virtual void FileVersionText(const char* path, char* buffer, std::size_t size) = 0;
};

// The process-wide resource access; never null.
ResourceAccess* CurrentResourceAccess();
// Replaces it (null restores the platform's own) and returns the previous one.
ResourceAccess* SetResourceAccess(ResourceAccess* access);
// The platform's own: the system's functions on Windows, the portable reader on Linux.
ResourceAccess* NativeResourceAccess();
// The portable reader over the file read a piece at a time (through the current FileSystem), on every
// platform. Its Open(nullptr) opens the running program's file where that is a Windows executable.
ResourceAccess* PortableResourceAccess();
// The file of the running program; false where it is not a Windows executable (the Linux build).
bool RunningProgramFile(std::string* path);

// Shorthands through the current resource access.
inline std::unique_ptr<ModuleResources> OpenModuleResources(const char* path, std::string* error) {
  return CurrentResourceAccess()->Open(path, error);
}
inline void GetFileVersionText(const char* path, char* buffer, std::size_t size) {
  CurrentResourceAccess()->FileVersionText(path, buffer, size);
}

}  // namespace platform
