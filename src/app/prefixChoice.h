#pragma once
// Which prefix the Linux program patches in, and the game's folder there when its registration does
// not name it:
//
// - the prefix given (--prefix, else $WINEPREFIX), as always; when it is a launcher's prefix its
//   programs run with the launcher's Wine, and a game the launcher installed without registering it
//   is found in the launcher's folder;
// - the Proton prefix of a Steam app (--steam-app APPID);
// - else the one prefix found that holds the patch's game. With several the player chooses; an
//   unattended run refuses and lists them.
//
// A game folder given (--game DIR) is the installation folder, whatever the registry says; without
// a prefix it chooses the prefixes that hold that folder (in their drive_c or among their launcher's
// game folders), else the default prefix (~/.wine).

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/gameLocation.h"
#include "app/manifest.h"
#include "platform/launcherPrefixes.h"

namespace app {

struct PrefixRequest {
  std::string prefix;       // --prefix, else $WINEPREFIX; "" when neither names one
  std::string steamApp;     // --steam-app
  std::string gameFolder;   // --game, a native folder
  bool unattended = false;  // --yes or --json: never ask
};

struct PrefixChoice {
  platform::FoundPrefix prefix;  // with the Wine its programs run with
  GameLocation game;             // where the game is, when it was found before the run
  std::string installFolder;     // for the run: "" when the registration names the folder
  std::string reason;            // why this prefix, for the log
};

// Asks the player to pick one of `options`; the index picked, or -1 for none.
using PrefixQuestion = std::function<int(const std::string& question, const std::vector<std::string>& options)>;

// Decides, then selects the prefix and its Wine. False with the message to show in *error. `ask` is
// used only when several prefixes qualify and the run is not unattended (it may be empty).
bool ChoosePrefix(const PrefixRequest& request, const platform::PrefixSearch& search, const Manifest& manifest,
                  const PrefixQuestion& ask, PrefixChoice* choice, std::string* error);

// The question on a terminal: the options numbered on `output`, a number read from `input`. -1 at the
// input's end, for an empty answer, or when `input` is no terminal.
int AskOnTerminal(std::FILE* input, std::FILE* output, bool inputIsTerminal, const std::string& question,
                  const std::vector<std::string>& options);

}  // namespace app
