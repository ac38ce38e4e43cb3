#pragma once
// Splitting a Windows command line into its program name and arguments, the way Windows programs
// built with the C runtime split theirs. The Linux process launcher needs it to hand a command line
// written for Windows to a native program or to wine as an argument vector.

#include <string>
#include <vector>

namespace platform {

// The program name first, then the arguments; empty when the line holds nothing but blanks.
//
// Blanks are spaces and tabs. Leading blanks are skipped. The program name ends at the first blank
// outside double quotes; its quotes only group and are dropped, and backslashes are plain characters.
// The arguments follow the runtime's rules:
//   - blanks outside double quotes separate arguments; a quote toggles quoting and is dropped;
//   - 2n backslashes before a quote give n backslashes, and the quote toggles quoting;
//   - 2n+1 backslashes before a quote give n backslashes and a literal quote;
//   - backslashes not followed by a quote are literal;
//   - inside quotes, a doubled quote ("") gives one literal quote and quoting goes on;
//   - "" alone is an empty argument.
std::vector<std::string> SplitCommandLine(const char* commandLine);

// The arguments alone, by the rules above, from a text that holds no program name.
std::vector<std::string> SplitArguments(const char* arguments);

}  // namespace platform
