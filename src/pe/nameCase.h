#pragma once
// Upper-casing of names as Windows does it when it compares names without regard to case (resource
// names, file names): every UTF-16 code unit replaced by its upper-case code unit, one for one. Letters
// of every script take part, not only a-z: "řeč" becomes "ŘEČ". A letter changes only when it has an
// upper-case partner whose lower case is that letter again, so "ß", "ı", "ſ" and final "ς" stay. A
// name's UTF-8 form may grow or shrink ("ɐ" has two bytes, "Ɐ" three).

#include <string>

namespace pe {

// The upper-case code unit of `unit`, or `unit` when it has none (surrogates included).
char16_t UpperCodeUnit(char16_t unit);

// The UTF-16 text with every code unit upper-cased.
void UpperUtf16(std::u16string* text);

// The UTF-8 name with every character upper-cased. Bytes that are not valid UTF-8 stay as they are,
// ASCII letters among them upper-cased.
std::string UpperName(const std::string& name);

// True when the two UTF-8 names are the same once both are upper-cased.
bool SameNameUpperCased(const std::string& a, const std::string& b);

}  // namespace pe
