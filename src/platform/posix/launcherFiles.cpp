#include "platform/posix/launcherFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>

#include "launchers/jsonText.h"
#include "launchers/vdfText.h"
#include "launchers/yamlText.h"
#include "platform/fileSystem.h"

namespace platform {
namespace launcherfiles {
namespace {

bool HasControlCharacter(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// True when `path` is `folder` or lies below it.
bool Inside(const std::string& folder, const std::string& path) {
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

std::string SystemErrorText() {
  FileSystem* files = CurrentFileSystem();
  char text[256];
  files->ErrorText(files->LastError(), text, sizeof text);
  return text;
}

void CollectName(const FolderEntry& entry, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(entry.name);
}

}  // namespace

std::string Resolved(const std::string& path) {
  std::string resolved;
  return CurrentFileSystem()->ResolvedPath(path.c_str(), &resolved) ? resolved : std::string();
}

bool IsFolder(const std::string& path) {
  bool isFolder = false;
  return CurrentFileSystem()->Exists(path.c_str(), &isFolder) && isFolder;
}

bool IsThere(const std::string& path) {
  std::string name;
  return CurrentFileSystem()->ActualName(path.c_str(), &name);
}

bool IsPrefix(const std::string& path) { return IsFolder(path + "/drive_c") || IsFolder(path + "/dosdevices"); }

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  if (!CurrentFileSystem()->ListFolder(folder.c_str(), CollectName, &names)) names.clear();
  std::sort(names.begin(), names.end());
  return names;
}

// A backslash would be read as a separator by the file system seam, which takes Windows names too.
bool IsUsablePath(const std::string& path) {
  return !path.empty() && path[0] == '/' && path.find('\\') == std::string::npos && !HasControlCharacter(path);
}

bool IsUsableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && !HasControlCharacter(name);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadLauncherFile(const std::string& path, const std::string& root, std::size_t limit, std::string* text,
                      std::string* problem) {
  FileSystem* files = CurrentFileSystem();
  std::string resolved;
  if (!files->ResolvedPath(path.c_str(), &resolved)) {
    *problem = "cannot be found: " + SystemErrorText();
    return false;
  }
  const std::string folder = Resolved(root);
  if (folder.empty() || !Inside(folder, resolved)) {
    *problem = "is a link to " + resolved + ", outside " + root;
    return false;
  }
  // Only a regular file: a device or a pipe could block the search or never end.
  struct stat info;
  if (::stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *problem = "is not a file";
    return false;
  }
  const FileHandle file = files->OpenRead(resolved.c_str());
  if (!IsValidFile(file)) {
    *problem = "cannot be opened: " + SystemErrorText();
    return false;
  }
  std::uint64_t size = 0;
  bool ok = files->Size(file, &size);
  if (ok && size > limit) {
    files->Close(file);
    *problem = "is larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  // Read to the end, whatever the size said, but never past the limit.
  text->clear();
  char buffer[65536];
  for (std::uint64_t position = 0; ok;) {
    std::uint32_t got = 0;
    ok = files->ReadAt(file, position, buffer, sizeof buffer, &got);
    if (!ok || got == 0) break;
    text->append(buffer, got);
    position += got;
    if (text->size() > limit) {
      files->Close(file);
      *problem = "is larger than " + std::to_string(limit) + " bytes";
      return false;
    }
  }
  if (!ok) *problem = "cannot be read: " + SystemErrorText();
  files->Close(file);
  return ok;
}

bool ReadSettings(const std::string& path, const std::string& root, Format format, launchers::Node* tree,
                  PrefixSearch* search) {
  if (!IsThere(path)) return false;  // not written by the launcher: nothing to report (a link to nowhere is)
  std::string text, problem;
  if (!ReadLauncherFile(path, root, launchers::kMaxFileBytes, &text, &problem)) {
    search->problems.push_back(path + ": " + problem);
    return false;
  }
  bool read = false;
  switch (format) {
    case Format::Vdf: read = launchers::ParseVdf(text, tree, &problem); break;
    case Format::Yaml: read = launchers::ParseYaml(text, tree, &problem); break;
    case Format::Json: read = launchers::ParseJson(text, tree, &problem); break;
  }
  if (!read) search->problems.push_back(path + ": " + problem);
  return read;
}

PrefixWine WineOfProgram(const std::string& program, const std::string& name) {
  PrefixWine wine;
  wine.name = name;
  const std::string bin = FolderOf(program);
  if (bin == "/usr/bin" || bin == "/bin" || bin == "/usr/local/bin") return wine;  // the system's
  return WineBuildIn(FolderOf(bin), name, "");
}

PrefixWine WineBuildIn(const std::string& folder, const std::string& name, const std::string& whose) {
  PrefixWine wine;
  wine.name = name;
  wine.folder = folder;
  bool isFolder = false;
  FileSystem* files = CurrentFileSystem();
  if ((files->Exists((folder + "/bin/wine").c_str(), &isFolder) && !isFolder) ||
      (files->Exists((folder + "/bin/wine64").c_str(), &isFolder) && !isFolder)) {
    wine.kind = PrefixWine::Kind::Build;
    return wine;
  }
  wine.kind = PrefixWine::Kind::Unavailable;
  wine.reason = (whose.empty() ? "its Wine " : whose) + name + " is not installed (no " + folder + "/bin/wine)";
  return wine;
}

}  // namespace launcherfiles
}  // namespace platform
