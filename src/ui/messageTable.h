#pragma once
// The numbered message table the patch program shows its user, in six languages: neutral (language
// 0), Czech (1029), German (1031), French (1036), Italian (1040) and Spanish (3082). Texts keep their
// format arguments ("%s", "%d", "%08x") and the placeholders "#APPNAME" and "#VERSION".
//
// This is the one source of the texts: the Linux program reads them from here, and the Windows
// program's string-table resources are generated from it.

namespace ui {

constexpr int kMessageCount = 32;  // identifiers 0 to 31; a missing text is null

struct LanguageTable {
  int language;                          // Windows language identifier; 0 is the neutral table
  const char16_t* texts[kMessageCount];  // indexed by message identifier
};

// The tables, neutral first; `count` receives their number.
const LanguageTable* LanguageTables(int* count);

// The table of exactly `language`, or null when the program has none for it.
const LanguageTable* FindLanguageTable(int language);

}  // namespace ui
