#include "app/prefixList.h"

#include "platform/machine.h"
#include "ui/jsonLinesInterface.h"

namespace app {
namespace {

const char* WineKind(platform::PrefixWine::Kind kind) {
  switch (kind) {
    case platform::PrefixWine::Kind::Build: return "build";
    case platform::PrefixWine::Kind::Unavailable: return "unavailable";
    case platform::PrefixWine::Kind::System: break;
  }
  return "system";
}

std::string DistributionText(const std::vector<std::string>& candidates) {
  if (candidates.empty()) return "no distribution";
  std::string text;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == candidates.size() ? " or " : ", ") + candidates[i];
  }
  return candidates.size() > 1 ? text + " (not recognized)" : text;
}

std::string JsonList(const std::vector<std::string>& texts) {
  std::string list = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) list += (i == 0 ? "" : ",") + ui::JsonString(texts[i]);
  return list + "]";
}

std::string JsonGame(const GameLocation& game) {
  if (!game.found) return "null";
  return "{\"folder\":" + ui::JsonString(game.installFolder) + ",\"version\":" + ui::JsonString(game.versionText) +
         ",\"distributions\":" + JsonList(game.distributions) + ",\"registered\":" + (game.registered ? "true" : "false") +
         "}";
}

std::string JsonPrefix(const platform::FoundPrefix& prefix) {
  const platform::PrefixWine& wine = prefix.wine;
  std::string wineFields = "\"kind\":\"" + std::string(WineKind(wine.kind)) + "\"";
  if (!wine.name.empty()) wineFields += ",\"name\":" + ui::JsonString(wine.name);
  if (wine.kind == platform::PrefixWine::Kind::Build) wineFields += ",\"folder\":" + ui::JsonString(wine.folder);
  if (wine.kind == platform::PrefixWine::Kind::Unavailable) wineFields += ",\"reason\":" + ui::JsonString(wine.reason);
  return "\"type\":\"prefix\",\"launcher\":\"" + std::string(platform::LauncherName(prefix.launcher)) +
         "\",\"variant\":" + ui::JsonString(prefix.variant) + ",\"id\":" + ui::JsonString(prefix.id) +
         ",\"title\":" + ui::JsonString(prefix.title) + ",\"prefix\":" + ui::JsonString(prefix.prefix) +
         ",\"gameFolders\":" + JsonList(prefix.gameFolders) + ",\"wine\":{" + wineFields + "}";
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return shown;
}

std::string PrefixTitle(const platform::FoundPrefix& prefix) {
  std::string title = platform::LauncherName(prefix.launcher);
  if (!prefix.variant.empty()) title += " (" + prefix.variant + ")";
  switch (prefix.launcher) {
    case platform::Launcher::Steam: title += " app"; break;
    case platform::Launcher::Lutris:
    case platform::Launcher::Heroic: title += " game"; break;
    case platform::Launcher::Bottles: title += " bottle"; break;
    case platform::Launcher::Wine: if (!prefix.id.empty()) title += " prefix"; break;
  }
  if (!prefix.id.empty()) title += " " + prefix.id;
  if (!prefix.title.empty() && prefix.title != prefix.id) title += " \"" + prefix.title + "\"";
  return Printable(title);
}

std::string WineText(const platform::PrefixWine& wine) {
  switch (wine.kind) {
    case platform::PrefixWine::Kind::Build: return Printable(wine.name + " (" + wine.folder + ")");
    case platform::PrefixWine::Kind::Unavailable: return Printable("none that can run here: " + wine.reason);
    case platform::PrefixWine::Kind::System: break;
  }
  return "the system's Wine";
}

std::string GameText(const GameLocation& game) {
  return Printable(game.versionText + ", " + DistributionText(game.distributions) + ", in " + game.installFolder +
                   (game.registered ? " (registered)" : ""));
}

void ListPrefixes(const platform::PrefixSearch& search, const Manifest* manifest, bool json, std::FILE* out) {
  const std::string gameName = manifest ? Printable(manifest->displayName.empty() ? manifest->configApp
                                                                                  : manifest->displayName)
                                        : std::string();
  if (!json) {
    std::fprintf(out, "%s\n", search.prefixes.empty() ? "No Wine or Proton prefixes were found."
                                                      : "Wine and Proton prefixes found:");
  }
  for (const platform::FoundPrefix& prefix : search.prefixes) {
    GameLocation game;
    std::string error;
    if (manifest && platform::SelectPrefix(prefix.prefix.c_str(), &error)) game = LocateGame(*manifest, prefix.gameFolders);
    if (json) {
      std::fprintf(out, "{%s%s}\n", JsonPrefix(prefix).c_str(), manifest ? (",\"game\":" + JsonGame(game)).c_str() : "");
      continue;
    }
    std::fprintf(out, "\n%s\n  prefix: %s\n", PrefixTitle(prefix).c_str(), Printable(prefix.prefix).c_str());
    for (const std::string& folder : prefix.gameFolders) std::fprintf(out, "  game folder: %s\n", Printable(folder).c_str());
    std::fprintf(out, "  Wine: %s\n", WineText(prefix.wine).c_str());
    if (manifest) {
      std::fprintf(out, "  %s: %s\n", gameName.c_str(), game.found ? GameText(game).c_str() : "not in this prefix");
    }
  }
  if (!search.problems.empty() && !json) std::fprintf(out, "\nFiles skipped:\n");
  for (const std::string& problem : search.problems) {
    if (json) {
      std::fprintf(out, "{\"type\":\"problem\",\"text\":%s}\n", ui::JsonString(problem).c_str());
    } else {
      std::fprintf(out, "  %s\n", Printable(problem).c_str());
    }
  }
  std::fflush(out);
}

}  // namespace app
