#pragma once
// Steam's text key-value files (libraryfolders.vdf, appmanifest_<appid>.acf, a compatibility tool's
// compatibilitytool.vdf):
//
//   "libraryfolders"
//   {
//     "0"
//     {
//       "path"    "/home/player/.local/share/Steam"
//       "apps"    { "228980" "404262992" }
//     }
//   }
//
// A key is followed by a value or by a block of keys in braces. Keys and values are quoted texts (with
// the escapes \\ \" \n \t) or unquoted words; "//" starts a comment that runs to the line's end; a
// platform condition such as [$LINUX] after a key or value is skipped. The file reads into a mapping
// whose members are its top-level keys; blocks are mappings, values texts. Keys keep their spelling
// and order (Steam compares them without regard to case: ask with Node::Find(name, true)).

#include <string>

#include "launchers/settingsTree.h"

namespace launchers {

// False, with the reason and its line in *error, when `text` is not such a file or passes a limit of
// settingsTree.h (bytes, depth, values). NUL bytes are refused: the text form has none.
bool ParseVdf(const std::string& text, Node* root, std::string* error);

}  // namespace launchers
