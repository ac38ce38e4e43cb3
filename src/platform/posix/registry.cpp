#include "platform/registry.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/debugOutput.h"
#include "platform/fileSystem.h"
#include "platform/machine.h"
#include "platform/nameFolding.h"
#include "platform/wineRegistryFile.h"

namespace platform {
namespace {

std::string HiveFile(RegistryHive hive) {
  return PrefixDirectory() + (hive == RegistryHive::CurrentUser ? "/user.reg" : "/system.reg");
}

// The key as the hive's file names it: in a 64-bit prefix the 32-bit program's machine keys below
// Software live in Software\Wow6432Node (Software\Classes is shared by both views).
std::string FileKeyPath(RegistryHive hive, const std::string& path) {
  if (hive != RegistryHive::LocalMachine || !MachineIs64Bit()) return path;
  const std::size_t first = path.find('\\');
  if (first == std::string::npos || !SameNameIgnoringCase(path.substr(0, first), "Software")) return path;
  const std::size_t second = path.find('\\', first + 1);
  const std::string next = path.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (SameNameIgnoringCase(next, "Wow6432Node") || SameNameIgnoringCase(next, "Classes")) return path;
  return path.substr(0, first) + "\\Wow6432Node" + path.substr(first);
}

bool ReadWhole(const std::string& path, std::string* text, std::string* error) {
  FileSystem* files = CurrentFileSystem();
  const FileHandle file = files->OpenRead(path.c_str());
  if (!IsValidFile(file)) {
    char reason[256];
    files->ErrorText(files->LastError(), reason, sizeof reason);
    *error = "cannot read " + path + ": " + reason;
    return false;
  }
  std::uint64_t size = 0;
  bool ok = files->Size(file, &size);
  text->assign(static_cast<std::size_t>(ok ? size : 0), '\0');
  std::uint64_t position = 0;
  while (ok && position < size) {
    std::uint32_t got = 0;
    const std::uint64_t left = size - position;
    ok = files->ReadAt(file, position, &(*text)[static_cast<std::size_t>(position)],
                       static_cast<std::uint32_t>(left < (1u << 30) ? left : (1u << 30)), &got) && got > 0;
    position += got;
  }
  files->Close(file);
  if (!ok) *error = "cannot read " + path + " whole";
  return ok;
}

// True when something answers on a socket: a server that runs.
bool Answers(const std::string& socketPath) {
  sockaddr_un address{};
  if (socketPath.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, socketPath.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

// Whether a wineserver serves the prefix. Its socket lies in "server-<device>-<inode>" of the prefix
// folder, below the folder the prefix's "wineserver" file names in /tmp (or /tmp/.wine-<uid>).
bool WineServerRuns() {
  struct stat prefix;
  if (::stat(PrefixDirectory().c_str(), &prefix) != 0) return false;
  char server[64];
  std::snprintf(server, sizeof server, "/server-%llx-%llx/socket", static_cast<unsigned long long>(prefix.st_dev),
                static_cast<unsigned long long>(prefix.st_ino));
  std::vector<std::string> folders = {"/tmp/.wine-" + std::to_string(::getuid())};
  if (std::FILE* named = std::fopen((PrefixDirectory() + "/wineserver").c_str(), "rb")) {
    char name[256] = "";
    if (std::fgets(name, sizeof name, named)) {
      std::string folder = name;
      while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
      if (!folder.empty() && folder.find('/') == std::string::npos) folders.push_back("/tmp/" + folder);
    }
    std::fclose(named);
  }
  for (const std::string& folder : folders) {
    if (Answers(folder + server)) return true;
  }
  return false;
}

// Replaces `path` with `text` in one rename of a flushed temporary file beside it, keeping its mode.
bool ReplaceFile(const std::string& path, const std::string& text, std::string* error) {
  FileSystem* files = CurrentFileSystem();
  const std::string temporary = path + ".zrtmp";
  const FileHandle file = files->OpenWrite(temporary.c_str());
  bool ok = IsValidFile(file);
  std::uint32_t written = 0;
  for (std::size_t at = 0; ok && at < text.size(); at += written) {
    const std::size_t left = text.size() - at;
    ok = files->Write(file, text.data() + at, static_cast<std::uint32_t>(left < (1u << 30) ? left : (1u << 30)), &written) &&
         written > 0;
  }
  ok = ok && files->Flush(file);
  if (IsValidFile(file)) ok = files->Close(file) && ok;
  struct stat info;
  if (ok && ::stat(path.c_str(), &info) == 0) ::chmod(temporary.c_str(), info.st_mode & 07777);
  ok = ok && files->RenameReplacing(temporary.c_str(), path.c_str());
  if (!ok) {
    char reason[256];
    files->ErrorText(files->LastError(), reason, sizeof reason);
    *error = "cannot write " + path + ": " + reason;
    files->Delete(temporary.c_str());
  }
  return ok;
}

class WinePrefixRegistry : public Registry {
 public:
  bool ReadString(RegistryHive hive, const char* path, const char* name, std::string* value) override {
    std::string text, error;
    WineRegistryFile file;
    if (!ReadWhole(HiveFile(hive), &text, &error) || !file.Parse(text, &error)) {
      CurrentDebugOutput()->Write(("registry: " + HiveFile(hive) + ": " + error + "\n").c_str());
      return false;
    }
    return file.ReadString(FileKeyPath(hive, path), name ? name : "", value);
  }

  bool WriteString(RegistryHive hive, const char* path, const char* name, const char* value,
                   std::string* error) override {
    WineRegistryFile file;
    if (!OpenHive(hive, &file, error)) return false;
    if (!file.SetString(FileKeyPath(hive, path), name ? name : "", value ? value : "",
                        static_cast<std::int64_t>(std::time(nullptr)))) {
      *error = "cannot write the key " + std::string(path) + " (an empty key name, or a text that is not UTF-8)";
      return false;
    }
    return ReplaceFile(HiveFile(hive), file.Text(), error);
  }

  bool CanWrite(RegistryHive hive, const char*, std::string* error) override {
    WineRegistryFile file;
    if (!OpenHive(hive, &file, error)) return false;
    // The hive is replaced by a new file beside it: both it and its folder must be writable.
    const std::string hiveFile = HiveFile(hive);
    for (const std::string& needed : {hiveFile, PrefixDirectory()}) {
      if (::access(needed.c_str(), W_OK) != 0) {
        *error = "cannot write " + needed + ": " + std::strerror(errno);
        return false;
      }
    }
    return true;
  }

 private:
  // The hive's file read and parsed for a change; false, with the cause, while a wineserver serves the
  // prefix (it would write its own copy over ours when it ends) or when the file is missing or damaged.
  static bool OpenHive(RegistryHive hive, WineRegistryFile* file, std::string* error) {
    const std::string hiveFile = HiveFile(hive);
    if (WineServerRuns()) {
      *error = "Wine is running in the prefix " + PrefixDirectory() +
               " and would overwrite its registry when it ends; close its programs or stop it with "
               "\"WINEPREFIX='" + PrefixDirectory() + "' wineserver -k\", then run the patch again";
      return false;
    }
    std::string text;
    if (!ReadWhole(hiveFile, &text, error)) return false;
    if (!file->Parse(text, error)) {
      *error = hiveFile + " is damaged (" + *error + "); it was not changed";
      return false;
    }
    return true;
  }
};

}  // namespace

Registry* NativeRegistry() {
  static WinePrefixRegistry registry;
  return &registry;
}

}  // namespace platform
