// Child processes on Linux. A Windows command line is split by the Windows rules; Windows programs run
// through wine in the selected prefix, native programs are started directly. posix_spawn reports a
// program that cannot be executed, or a working folder that cannot be entered, as its own failure
// (glibc and musl pass the child's error back before it would exit), so such a child never reads as
// one that ran and failed.
#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/commandLine.h"
#include "platform/fileSystem.h"
#include "platform/machine.h"

extern char** environ;

namespace platform {
namespace {

struct Child {
  pid_t pid = 0;
  bool ended = false;
  int status = 0;
};

Child* ToChild(ProcessHandle process) { return reinterpret_cast<Child*>(process); }

bool Fail(StartFailure* failure, int systemError, std::string reason = std::string()) {
  if (failure) {
    failure->systemError = systemError;
    if (reason.empty()) {
      char text[256];
      NativeFileSystem()->ErrorText(systemError, text, sizeof text);
      reason = text;
    }
    failure->reason = std::move(reason);
  }
  return false;
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  const std::size_t length = std::strlen(suffix);
  if (text.size() < length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[text.size() - length + i]);
    if (std::tolower(c) != suffix[i]) return false;
  }
  return true;
}

bool HasDriveLetter(const std::string& name) {
  return name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

// A name only Windows programs have: a drive, a backslash, or a Windows program's extension.
bool HasWindowsForm(const std::string& name) {
  return HasDriveLetter(name) || name.find('\\') != std::string::npos || EndsWithNoCase(name, ".exe") ||
         EndsWithNoCase(name, ".com") || EndsWithNoCase(name, ".bat") || EndsWithNoCase(name, ".cmd");
}

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool IsFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The full path of an executable `name` in a folder of $PATH; "" when none has it. Empty entries of
// $PATH are skipped rather than read as the current folder.
std::string FindOnPath(const char* name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    if (end > start) {
      std::string candidate = folders.substr(start, end - start) + "/" + name;
      if (IsExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::string();
}

bool IsFullPath(const std::string& name) { return HasDriveLetter(name) || (!name.empty() && name[0] == '/'); }

// For a program named by a full path (a drive, or a native absolute path): whether the file is there.
// As on Windows, a name without an extension also stands for the name with ".exe".
bool ProgramFileExists(const std::string& program) {
  auto exists = [](const std::string& name) {
    std::string native;
    if (name[0] == '/') {
      native = name;
    } else if (!ToNativePath(name.c_str(), &native)) {
      return false;
    }
    return IsFile(native);
  };
  if (exists(program)) return true;
  const std::size_t separator = program.find_last_of("\\/");
  const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  return program.find('.', nameStart) == std::string::npos && exists(program + ".exe");
}

// The command line's words. As on Windows, an unquoted full path with blanks in it names the program
// by the shortest run of words that names an existing file, so "C:\Documents and Settings\tool.exe -f"
// runs tool.exe.
std::vector<std::string> SplitForStart(const char* commandLine) {
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty() || !IsFullPath(words[0]) || ProgramFileExists(words[0])) return words;
  std::string line = commandLine;
  line.erase(0, line.find_first_not_of(" \t"));
  if (line[0] == '"') return words;
  for (std::size_t blank = line.find_first_of(" \t", words[0].size()); blank != std::string::npos;
       blank = line.find_first_of(" \t", blank + 1)) {
    const std::string program = line.substr(0, blank);
    if (program.find('"') != std::string::npos) break;
    if (ProgramFileExists(program)) {
      words = SplitArguments(line.c_str() + blank);
      words.insert(words.begin(), program);
      break;
    }
  }
  return words;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The parent's environment with $WINEPREFIX naming the selected prefix, so that wine, and any native
// program that runs wine itself, works on the machine the patch program works on. A launcher's Wine
// build finds the libraries it carries beside its bin/ folder first, as its launcher runs it.
std::vector<std::string> ChildEnvironment(const std::string& wineBuild) {
  std::vector<std::string> variables;
  std::string libraries;
  if (!wineBuild.empty()) {
    for (const char* folder : {"/lib64", "/lib"}) {
      if (IsFolder(wineBuild + folder)) libraries += (libraries.empty() ? "" : ":") + wineBuild + folder;
    }
  }
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::strncmp(*entry, "WINEPREFIX=", 11) == 0) continue;
    if (!libraries.empty() && std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) == 0) {
      if ((*entry)[16] != '\0') libraries += std::string(":") + (*entry + 16);
      continue;
    }
    variables.emplace_back(*entry);
  }
  const std::string prefix = PrefixDirectory();
  if (!prefix.empty()) variables.push_back("WINEPREFIX=" + prefix);
  if (!libraries.empty()) variables.push_back("LD_LIBRARY_PATH=" + libraries);
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (std::string& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

// Of the loaders wine and wine64 (either may be ""), the one for the selected prefix: a 64-bit prefix
// is run by wine64, which starts the 32-bit loader itself for 32-bit programs; a 32-bit prefix by wine.
std::string LoaderForPrefix(const std::string& wine, const std::string& wine64) {
  if (MachineIs64Bit() && !wine64.empty()) return wine64;
  return wine.empty() ? wine64 : wine;
}

// Wine's loader for the selected prefix, with the prefix's Wine build when its launcher has one ("" in
// *build otherwise). Debian puts the system's wine on the PATH and keeps wine64 in /usr/lib/wine.
// False, with the reason, when no Wine may run the prefix's programs.
bool WineLoader(std::string* loader, std::string* build, std::string* reason) {
  const PrefixWine wine = SelectedPrefixWine();
  build->clear();
  if (wine.kind == PrefixWine::Kind::Unavailable) {
    *reason = wine.reason;
    return false;
  }
  if (wine.kind == PrefixWine::Kind::Build) {
    const std::string bin = wine.folder + "/bin/";
    *loader = LoaderForPrefix(IsExecutableFile(bin + "wine") ? bin + "wine" : std::string(),
                              IsExecutableFile(bin + "wine64") ? bin + "wine64" : std::string());
    *build = wine.folder;
    *reason = "the prefix's Wine (" + wine.name + ") has no wine program in " + bin;
    return !loader->empty();
  }
  const std::string system = FindOnPath("wine");
  std::string system64 = FindOnPath("wine64");
  if (system64.empty() && !system.empty() && IsExecutableFile("/usr/lib/wine/wine64")) system64 = "/usr/lib/wine/wine64";
  *loader = LoaderForPrefix(system, system64);
  *reason = "wine is not installed";
  return !loader->empty();
}

// The program to execute and its argument vector for a split command line; *wineBuild is the Wine
// build it runs with ("" for a native program or the system's Wine).
bool ResolveProgram(std::vector<std::string>& words, std::string* executable, std::string* wineBuild,
                    StartFailure* failure) {
  const std::string program = words[0];
  bool throughWine = HasWindowsForm(program);
  if (!throughWine) {
    if (program.find('/') != std::string::npos) {
      *executable = program;
      return true;
    }
    *executable = FindOnPath(program.c_str());
    if (!executable->empty()) return true;
    // Not a Linux program: a Windows one on the prefix's own path, such as cmd or regedit.
    throughWine = true;
  }
  if (IsFullPath(program) && !ProgramFileExists(program)) {
    return Fail(failure, ENOENT);
  }
  std::string reason;
  if (!WineLoader(executable, wineBuild, &reason)) return Fail(failure, ENOENT, reason + ": cannot run " + program);
  words.insert(words.begin(), *executable);
  return true;
}

class PosixProcessLauncher : public ProcessLauncher {
 public:
  bool Start(const char* commandLine, const char* workingFolder, StartFlags, ProcessHandle* process,
             StartFailure* failure) override {
    *process = kNoProcess;
    std::vector<std::string> words = SplitForStart(commandLine);
    if (words.empty() || words[0].empty()) return Fail(failure, ENOENT, "no program in the command line");
    std::string executable, wineBuild;
    if (!ResolveProgram(words, &executable, &wineBuild, failure)) return false;

    std::string folder;
    if (workingFolder && *workingFolder && !ToNativePath(workingFolder, &folder)) {
      return Fail(failure, ENOENT, std::string("cannot find the folder ") + workingFolder);
    }

    std::vector<char*> arguments = Pointers(words);
    std::vector<std::string> variables = ChildEnvironment(wineBuild);
    std::vector<char*> environment = Pointers(variables);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    // The child starts with no blocked signals and every signal at its default, whatever this program
    // ignores or blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, executable.c_str(), &actions, &attributes, arguments.data(),
                                    environment.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return Fail(failure, error);

    Child* child = new Child;
    child->pid = pid;
    *process = reinterpret_cast<ProcessHandle>(child);
    return true;
  }

  bool Wait(ProcessHandle process) override { return Collect(ToChild(process), 0); }

  bool ExitCode(ProcessHandle process, std::uint32_t* code) override {
    Child* child = ToChild(process);
    if (!Collect(child, WNOHANG)) return false;
    if (WIFEXITED(child->status)) {
      *code = static_cast<std::uint32_t>(WEXITSTATUS(child->status));
    } else if (WIFSIGNALED(child->status)) {
      *code = 128u + static_cast<std::uint32_t>(WTERMSIG(child->status));
    } else {
      return false;
    }
    return true;
  }

  void Close(ProcessHandle process) override {
    Child* child = ToChild(process);
    if (!child) return;
    // A child that still runs is left to run; the system keeps its exit status until this program ends.
    Collect(child, WNOHANG);
    delete child;
  }

 private:
  // Collects the child's exit status once; false when it has not ended (WNOHANG) or cannot be waited for.
  static bool Collect(Child* child, int options) {
    if (!child) return false;
    if (child->ended) return true;
    for (;;) {
      int status = 0;
      const pid_t result = ::waitpid(child->pid, &status, options);
      if (result == child->pid) {
        child->ended = true;
        child->status = status;
        return true;
      }
      if (result < 0 && errno == EINTR) continue;
      return false;
    }
  }
};

}  // namespace

ProcessLauncher* NativeProcessLauncher() {
  static PosixProcessLauncher launcher;
  return &launcher;
}

bool FindInstalledProgram(const char* name, std::string* path) {
  const std::string found = FindOnPath(name);
  if (found.empty() || found[0] != '/') return false;
  *path = found;
  return true;
}

}  // namespace platform
