// zrpatch on Linux: applies a Windows patch executable to the game installed in a Wine or Proton
// prefix. It runs the same patch run as the Windows program and shows what that program shows, on the
// terminal (or as JSON lines for launchers); the exit codes are the Windows program's.

#include <CLI/CLI.hpp>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "El/Common/appFrame.h"
#include "app/patchKey.h"
#include "app/patchManifest.h"
#include "app/patchRun.h"
#include "app/prefixChoice.h"
#include "app/prefixList.h"
#include "patch/applyPatch.h"
#include "platform/console.h"
#include "platform/fileSystem.h"
#include "platform/installRights.h"
#include "platform/launcherPrefixes.h"
#include "platform/machine.h"
#include "platform/openedFile.h"
#include "ui/jsonLinesInterface.h"
#include "ui/messages.h"
#include "ui/terminalInterface.h"
#include "ui/unattendedInterface.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitNoRights = 4;

const char* const kDescription =
    "zrpatch: applies a Windows patch executable (PATCH.exe) to the game installed in a Wine or Proton\n"
    "prefix, as the patch does on Windows: it finds the game through the prefix's registry, checks the\n"
    "installed version and files, asks to start, updates the files, writes the registry values,\n"
    "shortcuts and uninstall log the patch carries, and reports.\n"
    "\n"
    "zrpatch --list [PATCH] lists the prefixes it finds: plain Wine ($WINEPREFIX, ~/.wine,\n"
    "~/.local/share/wineprefixes), Steam's Proton prefixes in every library (native, Flatpak, Snap),\n"
    "Lutris, Heroic and Bottles; with a patch, which of them hold its game, at which version.\n"
    "\n"
    "The prefix is --prefix, else $WINEPREFIX, else the Proton prefix of --steam-app, else the one\n"
    "prefix found that holds the game (with several, zrpatch asks; unattended, it lists them and stops).\n"
    "A game that its launcher installed without registering it is found in the launcher's folder; --game\n"
    "names the installation folder directly. The manifest's commands run with the prefix's own Wine\n"
    "(Proton's for a Proton prefix, the launcher's runner, else the system's). The wineserver of the\n"
    "prefix must not run (wineserver -k).\n"
    "\n"
    "The manifest's signature and the signed table of every payload entry are checked with the key in\n"
    "the patch's own key slot, before anything changes; with --trusted-key the patch must carry exactly\n"
    "that publisher key. A patch without a payload table (only its manifest signed) is refused unless\n"
    "--allow-unsigned-payload is given, and then no program it carries is started.\n"
    "\n"
    "zrpatch --verify PATCH checks the installed game, found as above, against the checksum list of its\n"
    "installed version that the patch carries, lists every file that is missing or damaged and changes\n"
    "nothing: exit code 0 when the installation is intact, 1 when it is not (or cannot be verified).\n"
    "\n"
    "Exit codes: 0 applied (or already applied and verified, or a dry run that found nothing wrong, or\n"
    "--verify found the installation intact),\n"
    "1 failed or cancelled, 4 no write access to the prefix's Program Files folder or registry,\n"
    "10 the start question was answered No.\n"
    "\n"
    "An interrupted run (a crash, a killed process, a full disk, a power cut) leaves every file in its\n"
    "old or its new version; running the same patch again completes it.";

// The libraries' diagnostics, into the log file when there is one.
class DiagnosticsToFile : public AppFrameFunctions {
 public:
  explicit DiagnosticsToFile(std::FILE* file) : file_(file) {}
  void LogV(const char* format, va_list args) override { Write(format, args); }
  void WarningV(const char* format, va_list args) override { Write(format, args); }
  void ErrorV(const char* format, va_list args) override { Write(format, args); }

 private:
  void Write(const char* format, va_list args) {
    std::fputs("diagnostics: ", file_);
    std::vfprintf(file_, format, args);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
  std::FILE* file_;
};

// The patch path made absolute: the run changes the current folder on its way.
std::string AbsolutePath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string absolute = resolved;
  std::free(resolved);
  return absolute;
}

// The JSON lines of a run with --json, for the action log's echo.
ui::JsonLinesInterface* jsonOutput = nullptr;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{kDescription, "zrpatch"};
  std::string patchPath, prefix, distribution, onError, logPath, trustedKeyPath, steamApp, gameFolder;
  bool yes = false, json = false, dryRun = false, allowUnsigned = false, list = false, verify = false;
  app.add_option("PATCH", patchPath, "The patch executable (PATCH.exe)");
  CLI::Option* listOption = app.add_flag("--list", list, "List the Wine and Proton prefixes found, and with PATCH which of them hold its game");
  CLI::Option* verifyOption = app.add_flag("--verify", verify,
               "Check the installed game against the patch's checksum list of its installed version, list every "
               "missing or damaged file, change nothing (exit code 0: intact)");
  CLI::Option* prefixOption = app.add_option(
      "--prefix", prefix, "The Wine or Proton prefix the game is installed in (default: $WINEPREFIX, else the one found)");
  app.add_option("--steam-app", steamApp, "Patch in the Proton prefix of this Steam app (its app id)")
      ->check(CLI::Validator(
          [](std::string& id) {
            return !id.empty() && id.size() <= 20 && id.find_first_not_of("0123456789") == std::string::npos
                       ? std::string()
                       : std::string("a Steam app id is a number");
          },
          "APPID"))
      ->excludes(prefixOption);
  app.add_option("--game", gameFolder, "The game's installation folder, when the prefix's registry does not know it");
  app.add_flag("-y,--yes", yes, "Answer Yes to the start question");
  app.add_option("--distribution", distribution, "Choose this distribution (a tag of the patch) when it asks which");
  app.add_option("--on-error", onError, "Answer a damaged-file question with abort or ignore instead of asking")
      ->check(CLI::IsMember({"abort", "ignore"}));
  app.add_option("--log", logPath, "Also write every log line, message, question and answer to FILE");
  app.add_flag("--json", json, "Write one JSON object a line to standard output for launchers (no questions asked)");
  app.add_flag("--dry-run", dryRun, "Check everything and list what would change; write nothing")->excludes(verifyOption);
  verifyOption->excludes(listOption);
  app.add_option("--trusted-key", trustedKeyPath,
                 "Refuse the patch unless it carries this publisher key (the public key file zrmake keygen writes)");
  app.add_flag("--allow-unsigned-payload", allowUnsigned,
               "Apply a patch whose payload is not signed (no payload table, an older format), without starting "
               "its delta tool or commands");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help is a success; every other mistake on the command line is a failure, exit code 1.
    return app.exit(error) == 0 ? 0 : kExitFailure;
  }
  if (patchPath.empty() && !list) {
    std::fprintf(stderr, "PATCH is required (or --list)\nRun with --help for more information.\n");
    return kExitFailure;
  }

  ui::PresetAnswers answers;
  answers.start = yes ? ui::PresetAnswers::Start::Yes : ui::PresetAnswers::Start::Ask;
  answers.distribution = distribution;
  answers.onError = onError == "abort"    ? ui::PresetAnswers::OnError::Abort
                    : onError == "ignore" ? ui::PresetAnswers::OnError::Ignore
                                          : ui::PresetAnswers::OnError::Ask;

  std::unique_ptr<ui::UserInterface> backend;
  ui::JsonLinesInterface* jsonLines = nullptr;
  if (json) {
    backend.reset(jsonLines = new ui::JsonLinesInterface(answers, stdout));
    // The action log shares standard output with the JSON lines: its lines become objects too.
    jsonOutput = jsonLines;
    patch::SetActionLogEcho([](const char* line) { jsonOutput->WriteActionLine(line); });
  } else {
    backend.reset(new ui::TerminalInterface(answers));
  }
  std::FILE* log = nullptr;
  if (!logPath.empty() && !(log = std::fopen(logPath.c_str(), "a"))) {
    std::fprintf(stderr, "zrpatch: cannot open the log file %s\n", logPath.c_str());
    return kExitFailure;
  }
  DiagnosticsToFile diagnostics(log);
  if (log) CurrentAppFrameFunctions = &diagnostics;
  ui::UnattendedInterface userInterface(backend.get(), ui::PresetAnswers(), log);
  ui::SetUserInterface(&userInterface);
  auto finish = [&](int code) {
    if (jsonLines) jsonLines->WriteResult(code);
    patch::SetActionLogEcho(nullptr);
    jsonOutput = nullptr;
    ui::SetUserInterface(nullptr);
    CurrentAppFrameFunctions = DefaultAppFrameFunctions();
    if (log) std::fclose(log);
    return code;
  };
  auto fail = [&](const std::string& text) {
    userInterface.ShowMessage("zrpatch", text.c_str(), ui::BoxIcon::Error);
    return finish(kExitFailure);
  };

  std::string error;
  app::PatchRunOptions options;
  options.storePath = patchPath.empty() ? std::string() : AbsolutePath(patchPath);
  options.dryRun = dryRun;
  options.distribution = distribution;
  options.verifyOnly = verify;
  options.unsignedPayload = allowUnsigned ? app::UnsignedPayload::ApplyNoPrograms : app::UnsignedPayload::Refuse;
  app::Manifest manifest;
  if (!patchPath.empty()) {
    {
      platform::OpenedFile patch;
      if (!patch.Open(options.storePath.c_str(), &error)) return fail(error);
      if (!app::PatchTrustedKey(patch, trustedKeyPath.c_str(), &options.trustedKey, &error)) {
        return fail(patchPath + ": " + error);
      }
    }
    // A patch that fails its signature check has shown its box already.
    if (!app::ReadPatchManifest(options.storePath, options.trustedKey, &manifest, &error, userInterface)) {
      if (error.empty()) return finish(kExitFailure);
      // A patch that cannot be read is named in the reason already.
      return fail(error.compare(0, options.storePath.size(), options.storePath) == 0 ? error : patchPath + ": " + error);
    }
  }
  const std::string fingerprint = "Publisher key " + app::KeyFingerprintText(options.trustedKey) +
                                  (trustedKeyPath.empty() ? " (taken from the patch)" : " (matches --trusted-key)");
  const platform::PrefixSearch search = platform::FindPrefixes(platform::UserLauncherHome());
  if (list) {
    if (!patchPath.empty()) userInterface.AppendLog(fingerprint.c_str());
    app::ListPrefixes(search, patchPath.empty() ? nullptr : &manifest, json, stdout);
    return finish(0);
  }

  app::PrefixRequest request;
  const char* winePrefix = std::getenv("WINEPREFIX");
  request.prefix = !prefix.empty() ? prefix : winePrefix ? winePrefix : "";
  request.steamApp = steamApp;
  request.gameFolder = gameFolder.empty() ? std::string() : AbsolutePath(gameFolder);
  request.unattended = yes || json;
  const app::PrefixQuestion ask = [](const std::string& question, const std::vector<std::string>& choices) {
    return app::AskOnTerminal(stdin, stderr, platform::IsTerminal(platform::ConsoleStream::Input), question, choices);
  };
  app::PrefixChoice choice;
  if (!app::ChoosePrefix(request, search, manifest, ask, &choice, &error)) return fail(error);
  options.installFolder = choice.installFolder;
  userInterface.AppendLog(fingerprint.c_str());
  userInterface.AppendLog(("Wine prefix " + platform::PrefixDirectory()).c_str());
  userInterface.AppendLog((app::PrefixTitle(choice.prefix) + ": " + choice.reason).c_str());
  userInterface.AppendLog(("Windows programs run with " + app::WineText(choice.prefix.wine)).c_str());
  if (!options.installFolder.empty()) {
    userInterface.AppendLog(("Game folder " + options.installFolder).c_str());
  }

  // Without its machine hive the folder is no prefix Wine has set up: its registry cannot be read or
  // written, whatever the rights.
  const std::string systemHive = platform::PrefixDirectory() + "/system.reg";
  if (!platform::CurrentFileSystem()->Exists(systemHive.c_str(), nullptr)) {
    return fail("The prefix " + platform::PrefixDirectory() + " has no system.reg: it is not a Wine prefix, or Wine "
                "has never started in it (\"WINEPREFIX='" + platform::PrefixDirectory() +
                "' wineboot -i\" sets it up). Name the game's prefix with --prefix or --steam-app.");
  }
  if (!dryRun && !verify && !platform::CheckInstallRights()) {
    char text[2048];
    ui::GetMessage(28, text, sizeof text);
    ui::ShowMessage(userInterface, text, ui::BoxIcon::Error);
    return finish(kExitNoRights);
  }
  options.userInterface = &userInterface;
  return finish(app::PatchRun(options));
}
