#pragma once
// The rules of payload entry names: upper case with backslashes, an optional distribution suffix
// (".#" and a tag) at the end, an action suffix (".UPD", ".NEW", ...) before it in versioned groups.

#include <string>

namespace patch {

// ASCII letters a-z upper-cased, everything else as it is.
std::string UpperAscii(const std::string& text);
bool EqualIgnoringCase(const std::string& a, const std::string& b);
// True when `text` begins with `prefix`, compared without regard to ASCII case.
bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix);

// Where the file-name part begins: after the last backslash or slash, or after a leading "X:".
std::size_t FileNameStart(const std::string& path);
// The position of the last '.' of the file-name part, or npos.
std::size_t ExtensionStart(const std::string& path);

// A name has a distribution suffix exactly when the character after its last full stop is '#'.
bool HasDistributionSuffix(const std::string& name);
// The tag after ".#" ("" without a suffix), and the name without the suffix.
std::string DistributionTag(const std::string& name);
std::string WithoutDistributionSuffix(const std::string& name);

// True when `relativePath` stays inside the folder it is joined to: not empty, no leading separator,
// no drive or stream (":"), no component that is empty or made only of dots and blanks. Payload names that fail this are never written.
bool IsContainedRelativePath(const std::string& relativePath);

}  // namespace patch
