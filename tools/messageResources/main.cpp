// Writes the Windows program's string tables, one per language, from the compiled-in message table, as
// resource-script text on standard output. The Windows build compiles the file this writes
// (src/ui/win32/resources/messages.rc); a test keeps that file equal to what this writes.
//
//   messageResources > messages.rc

#include <cstdio>
#include <string>

#include "ui/messageTable.h"

namespace {

// The text as a wide resource-script string: printable ASCII as it is (a quote doubled, a backslash
// escaped), line ends as \r and \n, everything else as a four-digit hexadecimal escape.
std::string ScriptString(const char16_t* text) {
  std::string out = "L\"";
  for (const char16_t* p = text; *p; ++p) {
    const char16_t c = *p;
    if (c == u'"') {
      out += "\"\"";
    } else if (c == u'\\') {
      out += "\\\\";
    } else if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%04X", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

}  // namespace

int main() {
  std::printf("// The message table in six languages. Written by tools/messageResources from\n"
              "// src/ui/messageTable.cpp; change the table and run the tool again, never this file.\n");
  int count = 0;
  const ui::LanguageTable* tables = ui::LanguageTables(&count);
  for (int i = 0; i < count; ++i) {
    const ui::LanguageTable& table = tables[i];
    // A Windows language identifier is the primary language in its low ten bits, the sublanguage above.
    std::printf("\nLANGUAGE 0x%02X, 0x%02X\nSTRINGTABLE\nBEGIN\n", table.language & 0x3FF, table.language >> 10);
    for (int id = 0; id < ui::kMessageCount; ++id) {
      if (table.texts[id]) std::printf("  %d, %s\n", id, ScriptString(table.texts[id]).c_str());
    }
    std::printf("END\n");
  }
  return 0;
}
