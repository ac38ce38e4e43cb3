#pragma once
// The rules of payload entry names: upper case with backslashes, an optional distribution suffix
// (".#" and a tag) at the end, an action suffix (".UPD", ".NEW", ...) before it in versioned groups.

#include <string>

#include "Es/Containers/nameText.h"

namespace patch {

// A name has a distribution suffix exactly when the character after its last full stop is '#'.
bool HasDistributionSuffix(const std::string& name);
// The tag after ".#" ("" without a suffix), and the name without the suffix.
std::string DistributionTag(const std::string& name);
std::string WithoutDistributionSuffix(const std::string& name);

// True when a versioned group's entry leaves its file as it is: its action suffix (before any
// distribution suffix, ignoring case) is ".EQU" (the same in both versions) or ".INI" (in neither).
bool ChangesNoFile(const std::string& entryName);

// True when `relativePath` stays inside the folder it is joined to: not empty, no leading separator,
// no drive or stream (":"), no control character, no component that is empty or made only of dots and
// blanks. Payload names that fail this are never written.
bool IsContainedRelativePath(const std::string& relativePath);

}  // namespace patch
