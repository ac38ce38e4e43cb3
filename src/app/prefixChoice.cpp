#include "app/prefixChoice.h"

#include <cstdlib>

#include "app/installation.h"
#include "app/prefixList.h"
#include "platform/fileSystem.h"
#include "platform/machine.h"

namespace app {
namespace {

std::string Resolved(const std::string& path) {
  std::string resolved;
  return platform::CurrentFileSystem()->ResolvedPath(path.c_str(), &resolved) ? resolved : std::string();
}

// True when `path` is `folder` or lies below it (both with their links resolved).
bool Holds(const std::string& folder, const std::string& path) {
  if (folder.empty() || path.empty()) return false;
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

std::string GameName(const Manifest& manifest) {
  return Printable(manifest.displayName.empty() ? manifest.configApp : manifest.displayName);
}

// A candidate as a line of a list: where, and what of the game is there.
std::string CandidateLine(const PrefixChoice& candidate) {
  std::string line = PrefixTitle(candidate.prefix) + ": " + Printable(candidate.prefix.prefix);
  if (candidate.game.found) line += " (" + GameText(candidate.game) + ")";
  return line;
}

// One of several candidates: asked, or, unattended, refused with the list.
bool Pick(const std::vector<PrefixChoice>& candidates, const std::string& what, const PrefixRequest& request,
          const PrefixQuestion& ask, std::size_t* picked, std::string* error) {
  std::vector<std::string> lines;
  for (const PrefixChoice& candidate : candidates) lines.push_back(CandidateLine(candidate));
  if (request.unattended || !ask) {
    *error = what + " Name the one to patch with --prefix" + (request.steamApp.empty() ? " or --steam-app" : "") + ":";
    for (std::size_t i = 0; i < lines.size(); ++i) *error += "\n  " + std::to_string(i + 1) + ") " + lines[i];
    return false;
  }
  const int answer = ask(what + " Which one shall be patched?", lines);
  if (answer < 0 || static_cast<std::size_t>(answer) >= candidates.size()) {
    *error = "No prefix was chosen.";
    return false;
  }
  *picked = static_cast<std::size_t>(answer);
  return true;
}

// The given game folder as the installation folder; false when it is no folder that can be named.
bool GivenFolder(const std::string& folder, std::string* installFolder, std::string* error) {
  if (InstallFolderOf(folder, installFolder)) return true;
  *error = "The game folder " + Printable(folder) + " does not exist, has a name the prefix cannot hold, or is longer "
           "than " + std::to_string(kFolderLimit - 1) + " characters in the prefix.";
  return false;
}

// Selects the candidate's prefix and Wine, and fixes the installation folder for the run.
bool Take(PrefixChoice* choice, const PrefixRequest& request, const Manifest& manifest, std::string* error) {
  if (!platform::SelectPrefix(choice->prefix.prefix.c_str(), error)) return false;
  platform::SelectPrefixWine(choice->prefix.wine);
  if (!request.gameFolder.empty()) return GivenFolder(request.gameFolder, &choice->installFolder, error);
  if (!choice->game.found) choice->game = LocateGame(manifest, choice->prefix.gameFolders);
  if (choice->game.found && !choice->game.registered) choice->installFolder = choice->game.installFolder;
  return true;
}

// The prefix named on the command line (or by $WINEPREFIX), with its launcher's Wine and folders when
// it is one of the found ones.
bool GivenPrefix(const PrefixRequest& request, const platform::PrefixSearch& search, const Manifest& manifest,
                 PrefixChoice* choice, std::string* error) {
  if (!platform::SelectPrefix(request.prefix.c_str(), error)) return false;
  const std::string selected = platform::PrefixDirectory();
  const std::string resolved = Resolved(selected);
  choice->prefix = platform::FoundPrefix();
  choice->prefix.prefix = selected;
  for (const platform::FoundPrefix& found : search.prefixes) {
    if (found.prefix == resolved) {
      choice->prefix = found;
      choice->prefix.prefix = selected;
    }
  }
  choice->reason = "the prefix given";
  return Take(choice, request, manifest, error);
}

bool SteamAppPrefix(const PrefixRequest& request, const platform::PrefixSearch& search, const Manifest& manifest,
                    const PrefixQuestion& ask, PrefixChoice* choice, std::string* error) {
  std::vector<PrefixChoice> candidates;
  for (const platform::FoundPrefix& found : search.prefixes) {
    if (found.launcher == platform::Launcher::Steam && found.id == request.steamApp) {
      candidates.push_back(PrefixChoice());
      candidates.back().prefix = found;
    }
  }
  if (candidates.empty()) {
    *error = "No Steam library here has a Proton prefix of app " + Printable(request.steamApp) +
             " (zrpatch --list shows the prefixes found).";
    return false;
  }
  std::size_t picked = 0;
  if (candidates.size() > 1 &&
      !Pick(candidates, "Steam app " + Printable(request.steamApp) + " has a prefix in more than one Steam installation.",
            request, ask, &picked, error)) {
    return false;
  }
  *choice = candidates[picked];
  choice->reason = "the Proton prefix of Steam app " + Printable(request.steamApp);
  return Take(choice, request, manifest, error);
}

bool FoundPrefixOfGame(const PrefixRequest& request, const platform::PrefixSearch& search, const Manifest& manifest,
                       const PrefixQuestion& ask, PrefixChoice* choice, std::string* error) {
  const std::string game = GameName(manifest);
  const std::string folder = request.gameFolder.empty() ? std::string() : Resolved(request.gameFolder);
  if (!request.gameFolder.empty() && folder.empty()) {
    *error = "The game folder " + Printable(request.gameFolder) + " does not exist.";
    return false;
  }
  std::vector<PrefixChoice> candidates;
  for (const platform::FoundPrefix& found : search.prefixes) {
    PrefixChoice candidate;
    candidate.prefix = found;
    if (!folder.empty()) {
      bool holds = Holds(found.prefix, folder);
      for (const std::string& gameFolder : found.gameFolders) holds = holds || Holds(gameFolder, folder);
      if (!holds) continue;
    } else {
      std::string ignored;
      if (!platform::SelectPrefix(found.prefix.c_str(), &ignored)) continue;
      candidate.game = LocateGame(manifest, found.gameFolders);
      if (!candidate.game.found) continue;
    }
    candidates.push_back(candidate);
  }
  if (candidates.empty() && !folder.empty()) {
    // A folder no launcher knows: the default prefix, as without launchers.
    choice->prefix = platform::FoundPrefix();
    if (!platform::SelectPrefix(nullptr, error)) return false;
    choice->prefix.prefix = platform::PrefixDirectory();
    choice->reason = "the default prefix, since no launcher's prefix holds " + Printable(folder);
    return Take(choice, request, manifest, error);
  }
  if (candidates.empty()) {
    *error = game + " is in none of the " + std::to_string(search.prefixes.size()) +
             " Wine and Proton prefixes found here (zrpatch --list PATCH shows them). Name its prefix with --prefix "
             "or --steam-app, or its folder with --game.";
    return false;
  }
  std::size_t picked = 0;
  if (candidates.size() > 1 &&
      !Pick(candidates, (folder.empty() ? game : Printable(folder)) + " is in more than one prefix.", request, ask,
            &picked, error)) {
    return false;
  }
  *choice = candidates[picked];
  choice->reason = candidates.size() > 1 ? "chosen of " + std::to_string(candidates.size()) + " that hold " + game
                                         : "the one prefix found that holds " + game;
  return Take(choice, request, manifest, error);
}

}  // namespace

bool ChoosePrefix(const PrefixRequest& request, const platform::PrefixSearch& search, const Manifest& manifest,
                  const PrefixQuestion& ask, PrefixChoice* choice, std::string* error) {
  *choice = PrefixChoice();
  if (!request.prefix.empty()) return GivenPrefix(request, search, manifest, choice, error);
  if (!request.steamApp.empty()) return SteamAppPrefix(request, search, manifest, ask, choice, error);
  return FoundPrefixOfGame(request, search, manifest, ask, choice, error);
}

int AskOnTerminal(std::FILE* input, std::FILE* output, bool inputIsTerminal, const std::string& question,
                  const std::vector<std::string>& options) {
  if (!inputIsTerminal || !input) return -1;
  std::fprintf(output, "%s\n", question.c_str());
  for (std::size_t i = 0; i < options.size(); ++i) std::fprintf(output, "  %zu) %s\n", i + 1, options[i].c_str());
  for (;;) {
    std::fprintf(output, "Number (empty to cancel): ");
    std::fflush(output);
    char line[64];
    if (!std::fgets(line, sizeof line, input)) return -1;
    std::string answer = line;
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    if (answer.empty()) return -1;
    char* end = nullptr;
    const long number = std::strtol(answer.c_str(), &end, 10);
    if (end != answer.c_str() && *end == '\0' && number >= 1 && static_cast<std::size_t>(number) <= options.size()) {
      return static_cast<int>(number - 1);
    }
  }
}

}  // namespace app
