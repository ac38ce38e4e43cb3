#pragma once
// Lines of text as tests look at them: whether any contains a text, and all of them for a message.

#include <string>
#include <vector>

inline bool AnyContains(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}
