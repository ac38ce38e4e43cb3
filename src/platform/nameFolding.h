#pragma once
// File names compared as Windows compares them: without regard to case. Names are UTF-8 (as Wine
// names files on Linux); letters fold to lower case in ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic, which covers the names games ship. Bytes that are not valid UTF-8 compare as they are.

#include <string>

namespace platform {

// The name with every letter of those ranges in lower case.
std::string FoldNameCase(const std::string& name);

// True when the two names differ at most in the case of their letters.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace platform
