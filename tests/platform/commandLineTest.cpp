// Splitting Windows command lines: the rules Windows programs apply to their own command line.
#include "platform/commandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRuntimeRules) {
  const struct {
    const char* line;
    Words words;
  } cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"  prog \t a\t\tb  ", {"prog", "a", "b"}},
      {"\"C:\\Program Files\\Game\\setup.exe\" /s", {"C:\\Program Files\\Game\\setup.exe", "/s"}},
      // The program name: quotes only group, backslashes stay as they are.
      {"C:\\dir\\\"x y\"\\p.exe a", {"C:\\dir\\x y\\p.exe", "a"}},
      {"\"a\\\\\"b c", {"a\\\\b", "c"}},
      // Arguments: quoting, escaped quotes and runs of backslashes.
      {"p \"a b\" c", {"p", "a b", "c"}},
      {"p a\\\\b \\\\server\\share", {"p", "a\\\\b", "\\\\server\\share"}},
      {"p a\\\"b", {"p", "a\"b"}},
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},
      {"p a\\\\\\\\\"b c\"", {"p", "a\\\\b c"}},
      {"p \"C:\\Games\\\"", {"p", "C:\\Games\""}},
      {"p a\"b c\"d e", {"p", "ab cd", "e"}},
      // Doubled quotes inside quotes give one quote and quoting goes on.
      {"p \"a\"\"b c\" d", {"p", "a\"b c", "d"}},
      // Empty arguments, also at the end.
      {"p \"\" x \"\"", {"p", "", "x", ""}},
      {"p \"\"\"\"", {"p", "\""}},
      // An unterminated quote runs to the end, blanks included.
      {"p \"open end ", {"p", "open end "}},
      {"p ab\"", {"p", "ab"}},
      // Blanks are spaces and tabs only.
      {"p a\nb", {"p", "a\nb"}},
      {"", {}},
      {" \t ", {}},
      {"\"\"", {""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::SplitCommandLine(c.line), c.words) << "command line: [" << c.line << "]";
  }
  EXPECT_EQ(platform::SplitCommandLine(nullptr), Words{});
}

TEST(SplitCommandLine, DeltaToolCommandLineWithBlanksInEveryPath) {
  // The tool's own path is not quoted; the three files are.
  const char* line =
      "C:\\users\\me\\Temp\\ZRPatch\\xdelta3.exe -f -d -s \"C:\\Games\\My Game\\Data\\Map One.pak\" "
      "\"C:\\users\\me\\Temp\\ZRPatch\\Map One.pak.upd\" \"C:\\Games\\My Game\\Data\\Map One.pak.tmp\"";
  const Words expected = {"C:\\users\\me\\Temp\\ZRPatch\\xdelta3.exe",
                          "-f",
                          "-d",
                          "-s",
                          "C:\\Games\\My Game\\Data\\Map One.pak",
                          "C:\\users\\me\\Temp\\ZRPatch\\Map One.pak.upd",
                          "C:\\Games\\My Game\\Data\\Map One.pak.tmp"};
  EXPECT_EQ(platform::SplitCommandLine(line), expected);
  // A folder that ends in a backslash inside quotes swallows the closing quote: the runtime's rule.
  EXPECT_EQ(platform::SplitCommandLine("tool -s \"C:\\My Dir\\\" next"),
            (Words{"tool", "-s", "C:\\My Dir\" next"}));
}

TEST(SplitArguments, HasNoProgramName) {
  EXPECT_EQ(platform::SplitArguments(" \"a b\" c\\\"d"), (Words{"a b", "c\"d"}));
  EXPECT_EQ(platform::SplitArguments(""), Words{});
}

}  // namespace
