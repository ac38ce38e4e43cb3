#include "platform/commandLine.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One argument from *p on; *p is left on the blank or the end that closed it.
std::string TakeArgument(const char*& p) {
  std::string argument;
  bool quoted = false;
  while (*p && (quoted || !IsBlank(*p))) {
    if (*p == '\\') {
      std::size_t count = 0;
      while (p[count] == '\\') ++count;
      if (p[count] != '"') {
        argument.append(count, '\\');
        p += count;
        continue;
      }
      argument.append(count / 2, '\\');
      p += count;
      if (count % 2 == 1) {  // an escaped quote: literal, quoting unchanged
        argument += '"';
        ++p;
      }
      continue;  // an even run leaves the quote to toggle quoting below
    }
    if (*p == '"') {
      if (quoted && p[1] == '"') {
        argument += '"';
        p += 2;
      } else {
        quoted = !quoted;
        ++p;
      }
      continue;
    }
    argument += *p++;
  }
  return argument;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const char* commandLine) {
  std::vector<std::string> words;
  const char* p = commandLine ? commandLine : "";
  while (IsBlank(*p)) ++p;
  if (!*p) return words;

  std::string program;
  bool quoted = false;
  for (; *p && (quoted || !IsBlank(*p)); ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else {
      program += *p;
    }
  }
  words.push_back(program);
  const std::vector<std::string> arguments = SplitArguments(p);
  words.insert(words.end(), arguments.begin(), arguments.end());
  return words;
}

std::vector<std::string> SplitArguments(const char* arguments) {
  std::vector<std::string> words;
  const char* p = arguments ? arguments : "";
  for (;;) {
    while (IsBlank(*p)) ++p;
    if (!*p) break;
    words.push_back(TakeArgument(p));
  }
  return words;
}

}  // namespace platform
