#pragma once
// JSON files of game launchers (Heroic's settings, its per-game settings and the lists of installed
// games it keeps for its stores). The whole grammar is read strictly: objects become mappings, arrays
// lists, and strings, numbers, true, false and null texts (strings with their escapes decoded to
// UTF-8; the others as written). A UTF-8 byte order mark before the value is allowed; anything else
// after the value is not.

#include <string>

#include "launchers/settingsTree.h"

namespace launchers {

// False, with the reason and its line in *error, when `text` is not one JSON value or passes a limit
// of settingsTree.h (bytes, depth, values).
bool ParseJson(const std::string& text, Node* root, std::string* error);

}  // namespace launchers
