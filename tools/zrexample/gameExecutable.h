#pragma once
// The example game's executable: a minimal 32-bit Windows program carrying a version resource.

#include <string>

namespace zrexample {

// The game's executable with `version` as its file version; false with *error when it cannot be made.
bool GameExecutable(const std::string& version, std::string* bytes, std::string* error);

}  // namespace zrexample
