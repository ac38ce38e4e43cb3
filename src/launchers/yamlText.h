#pragma once
// The YAML that game launchers write (Lutris' game files and runner settings, Bottles' bottle.yml):
// what a YAML library's block style produces, read into the settings tree.
//
//   game:
//     exe: /home/player/Games/example/drive_c/Program Files/Example/game.exe
//     prefix: '/home/player/Games/example'
//   wine:
//     version: lutris-7.2-2-x86_64
//   Installed_Dependencies:
//   - vcredist2019
//   External_Programs: {}
//
// Read: block mappings and sequences by indentation (spaces), sequences under a key at the key's own
// indentation, "- key: value" items, plain scalars over several lines, single- and double-quoted
// scalars (all escapes, over several lines), literal and folded block scalars (| and >, with chomping
// and indentation indicators), flow collections ([a, b], {k: v}, over several lines), comments, and
// one document with an optional "---" before it and "..." after it. Refused with a reason: tabs in the
// indentation, anchors, aliases, tags, directives and complex keys (which these files never hold), and
// anything that is no YAML at all. Scalars are texts as written (null, ~, true, 12 stay texts); an
// empty value is an empty text.

#include <string>

#include "launchers/settingsTree.h"

namespace launchers {

// False, with the reason and its line in *error, when `text` is not such a document or passes a limit
// of settingsTree.h (bytes, depth, values). NUL bytes are refused.
bool ParseYaml(const std::string& text, Node* root, std::string* error);

}  // namespace launchers
