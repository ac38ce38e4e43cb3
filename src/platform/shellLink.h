#pragma once
// Shell links (".lnk" shortcut files).
//
// Windows: the shell's own link object through COM, saved with its persist-file interface. Linux: the
// link file written by the program (shellLinkFile.h) through the platform's FileSystem, into a
// temporary file renamed over the link, so a link is never left half-written.

namespace platform {

// Initialises the component library for the calling thread while it lives (Windows: CoInitialize and,
// when that succeeded, CoUninitialize); nothing on Linux. Make one around each link created.
class ComponentLibraryScope {
 public:
  ComponentLibraryScope();
  ~ComponentLibraryScope();
  ComponentLibraryScope(const ComponentLibraryScope&) = delete;
  ComponentLibraryScope& operator=(const ComponentLibraryScope&) = delete;

 private:
  [[maybe_unused]] bool initialised_ = false;  // Windows only
};

// Creates the link file `linkPath` (the full file name, ".lnk" included, in the program's own form)
// that starts `target` with `arguments` in the working folder WorkingFolderOf(workingDirectory)
// (shellLinkFile.h), described by `description`. Texts are in the program's narrow encoding (the ANSI
// code page on Windows, UTF-8 on Linux). On Windows the link path may have at most 259 characters.
// The folders of the link must exist. True when the link file was saved; the patch does not depend on
// it.
bool CreateShellLink(const char* linkPath, const char* target, const char* description,
                     const char* workingDirectory, const char* arguments);

}  // namespace platform
