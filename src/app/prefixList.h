#pragma once
// What the Linux program says about the prefixes it found (zrpatch --list [PATCH]): for people, one
// block a prefix with its launcher, folders and Wine, and with a patch whether the prefix holds its
// game, at which version and distribution; for launchers, one JSON object a line.
//
//   {"type":"prefix","launcher":"Steam","variant":"Flatpak","id":"1002","title":"...","prefix":"...",
//    "gameFolders":[...],"wine":{"kind":"build","name":"Proton 8.0","folder":"..."},
//    "game":{"folder":"Z:\\...\\","version":"1.05","distributions":["GERMAN"],"registered":false}}
//   {"type":"problem","text":"<file>: <why it was skipped>"}
//
// "game" is present only with a patch, null when the prefix does not hold it. Texts from launchers'
// files are shown with their control characters replaced, so that no file can drive the terminal.

#include <cstdio>
#include <string>

#include "app/gameLocation.h"
#include "app/manifest.h"
#include "platform/launcherPrefixes.h"

namespace app {

// `text` with every control character shown as '?'.
std::string Printable(const std::string& text);

// The prefix as people know it: "Steam app 1002 \"Unregistered Game\"", "Lutris game example-game",
// "Wine", with the launcher's variant ("Steam (Flatpak) app ...").
std::string PrefixTitle(const platform::FoundPrefix& prefix);

// "the system's Wine", "Proton 8.0 (/.../Proton 8.0/files)", "none that can run here: <why>".
std::string WineText(const platform::PrefixWine& wine);

// "1.05, GERMAN, in C:\\Games\\Example\\" (with " (registered)" when found through the registry).
std::string GameText(const GameLocation& game);

// Writes the list to `out`. With `manifest`, each prefix is selected in turn to look for its game.
void ListPrefixes(const platform::PrefixSearch& search, const Manifest* manifest, bool json, std::FILE* out);

}  // namespace app
