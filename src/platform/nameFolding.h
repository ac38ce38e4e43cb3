#pragma once
// File names compared as Windows compares them: without regard to case. Names are UTF-8 (as Wine
// names files on Linux); every letter folds to its upper-case form, one UTF-16 code unit for one, as
// Windows folds them (pe/nameCase.h). Bytes that are not valid UTF-8 compare as they are.

#include <string>

namespace platform {

// The comparison form of a name: every letter upper-cased.
std::string FoldNameCase(const std::string& name);

// True when the two names differ at most in the case of their letters.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace platform
