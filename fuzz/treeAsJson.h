#pragma once
// A settings tree written as JSON (every text a string, members on lines of their own), which the
// JSON reader and, as flow collections of double-quoted texts, the YAML reader read back as the same
// tree. For the fuzz targets' round trips.

#include <cstdio>
#include <string>

#include "launchers/settingsTree.h"

inline std::string JsonQuoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

inline void WriteTreeAsJson(const launchers::Node& node, std::string* out) {
  if (node.IsText()) {
    *out += JsonQuoted(node.text);
    return;
  }
  *out += node.IsMap() ? "{" : "[";
  for (std::size_t i = 0; i < node.members.size(); ++i) {
    if (i > 0) *out += ",\n  ";
    if (node.IsMap()) *out += JsonQuoted(node.members[i].name) + ": ";
    WriteTreeAsJson(node.members[i].value, out);
  }
  *out += node.IsMap() ? "}" : "]";
}
