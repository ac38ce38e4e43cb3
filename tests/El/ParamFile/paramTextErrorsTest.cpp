// The config text parser on bad and hostile input: every message a user can trigger, with its file and
// line, the result code, and what stays in the tree.
#include <gtest/gtest.h>

#include <string>

#include "El/ParamFile/paramText.h"
#include "support/captureDiagnostics.h"
#include "paramTextSupport.h"

namespace {

class TextErrors : public ::testing::Test {
 protected:
  // Parses and expects `result` and one report containing `message`.
  void Expect(const std::string& text, int result, const std::string& message) {
    ParamFile file;
    EXPECT_EQ(ParseString(file, text), result) << text;
    EXPECT_TRUE(diagnostics.Contains(message)) << text << "\nwanted: " << message << "\ngot: " << All();
  }
  std::string All() const {
    std::string all;
    for (const std::string& line : diagnostics.lines) all += line;
    return all;
  }

  CaptureDiagnostics diagnostics;
};

}  // namespace

// ---- the value reader (reported, the parse goes on) ---------------------------------------------------------

TEST_F(TextErrors, PlainValueContinuedOnTheNextLine) {
  Expect("a[] = {1\n2};", PTROk, "File cfg, line 2: Config: '2' after 1");
}

TEST_F(TextErrors, StringContinuationWithoutAQuote) {
  Expect("a = \"x\" \\n y\";", PTROk, "File cfg, line 1: Config: '\"' expected after x");
}

TEST_F(TextErrors, LineEndInsideQuotes) {
  ParamFile file;
  EXPECT_EQ(ParseString(file, "a = \"one\ntwo\";\nb = 1;"), PTROk);
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 1: Config: End of line encountered after one"));
  EXPECT_STREQ(file.FindEntry("a")->GetValueRaw(), "one\ntwo");
  EXPECT_EQ(file.FindEntry("b")->GetInt(), 1);
}

TEST_F(TextErrors, UnsupportedEscape) {
  ParamFile file;
  EXPECT_EQ(ParseString(file, "a = \"x\" \\t \"y\";"), PTROk);
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 1: Config: Unsupported escape sequence \\t after x"));
  EXPECT_STREQ(file.FindEntry("a")->GetValueRaw(), "x\ny");
}

TEST_F(TextErrors, UnknownDirectiveInsideAValueOrArray) {
  Expect("a[] = {\n#include \"x\"\n1};", PTRSyntax, "File cfg, line 2: Config: Wrong # directive");
  Expect("a[] = {1\n#define X\n};", PTRSyntax, "File cfg, line 2: Config: Wrong # directive");
}

// ---- between members (the parse stops) ------------------------------------------------------------------------

TEST_F(TextErrors, UnknownDirectiveBetweenMembers) {
  Expect("class A {\n#pragma once\n};", PTRSyntax, "File cfg, line 2: cfg/A/: Wrong # directive");
  Expect("#line x\n", PTRSyntax, "cfg/: Wrong # directive");
}

TEST_F(TextErrors, DeleteOrArrayWithoutSemicolon) {
  Expect("delete A,", PTRSyntax, "File cfg, line 1: cfg/: ',' encountered instead of ';'");
  Expect("a[] = {1}\nb = 2;", PTRSyntax, "File cfg, line 2: cfg.a: 'b' encountered instead of ';'");
}

TEST_F(TextErrors, ClassOrEnumBodyDoesNotOpen) {
  Expect("class A (", PTRSyntax, "File cfg, line 1: cfg/: '(' encountered instead of '{'");
  Expect("enum E = 1;", PTRSyntax, "cfg/: '=' encountered instead of '{'");
  Expect("class A", PTRSyntax, "cfg/: '\xFF' encountered instead of '{'");
}

TEST_F(TextErrors, EnumDoesNotClose) {
  Expect("enum { A B };", PTRSyntax, "cfg/: 'B' encountered instead of '}'");
}

TEST_F(TextErrors, ExecWithoutParentheses) {
  Expect("__EXEC x;", PTRSyntax, "cfg/: 'x' encountered instead of '('");
  Expect("__EXEC(a = 1", PTRSyntax, "cfg/: '\xFF' encountered instead of ')'");
}

TEST_F(TextErrors, BaseClassNotFoundOrNotAClass) {
  Expect("class B : A {};\nclass A {};", PTRSyntax, "File cfg, line 1: cfg.B: Undefined base class 'A'");
  Expect("v = 1;\nclass B : v {};", PTRSyntax, "File cfg, line 2: cfg.B: 'v' is not class");
}

TEST_F(TextErrors, MemberWithoutEquals) {
  ParamFile file;
  EXPECT_EQ(ParseString(file, "ok = 1;\nname 5 rest of line\nlater = 2;"), PTRSyntax);
  EXPECT_TRUE(diagnostics.Contains("Error context rest of line"));
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 2: 'cfg.name': '5' encountered instead of '='"));
  EXPECT_EQ(file.FindEntry("ok")->GetInt(), 1);  // what came before stays
  EXPECT_FALSE(file.FindEntry("later"));
  // "Error context" comes just before, without file and line.
  std::size_t context = 0;
  while (context < diagnostics.lines.size() && diagnostics.lines[context].rfind("Error context", 0) != 0) ++context;
  ASSERT_LT(context + 1, diagnostics.lines.size());
  EXPECT_NE(diagnostics.lines[context + 1].find("encountered instead of '='"), std::string::npos);
}

TEST_F(TextErrors, SpaceBeforeTheArrayBracket) {
  Expect("arr [] = {1};", PTRSyntax, "'cfg.arr': '[' encountered instead of '='");
}

TEST_F(TextErrors, PlainValueEndsAtTheEndOfInput) {
  Expect("a = 1", PTRSyntax, "File cfg, line 1: 'cfg.a': '\xFF' encountered instead of ';'");
}

TEST_F(TextErrors, ArrayBracketsAndBody) {
  Expect("a[1] = {};", PTRSyntax, "Config: cfg.a: '1' encountered instead of ']'");
  Expect("a[] {};", PTRSyntax, "Config: cfg.a: '{' encountered instead of '='");
  Expect("a[] = 1;", PTRSyntax, "Config: '1' encountered instead of '{'");
  Expect("a[] = {\"x\" y};", PTRSyntax, "Config: 'y' encountered instead of ','");
}

TEST_F(TextErrors, InputEndsInsideAnArray) {
  Expect("a[] = {1, 2", PTRSyntax, "File cfg, line 1: EOF encountered.");
  Expect("a[] = {1, {2,", PTRSyntax, "EOF encountered.");
}

TEST_F(TextErrors, InputAfterTheRootLevel) {
  ParamFile file;
  EXPECT_EQ(ParseString(file, "a = 1;\n};\nb = 2;"), PTRSyntax);
  EXPECT_TRUE(diagnostics.Contains("Config cfg: some input after EndOfFile."));
  EXPECT_FALSE(diagnostics.Contains("File cfg, line 3: Config cfg"));
  EXPECT_EQ(file.FindEntry("a")->GetInt(), 1);
  ParamFile closed;
  EXPECT_EQ(ParseString(closed, "a = 1;\n};;\n\n"), PTROk);
}

// ---- hostile input -------------------------------------------------------------------------------------------

TEST_F(TextErrors, InputEndsInsideAClassOrString) {
  // A file cut short inside a class is an error, not a shorter tree; what came before stays.
  ParamFile file;
  EXPECT_EQ(ParseString(file, "before = 1;\nclass A {\n x = 1;\n class B { y = 2;"), PTRSyntax);
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 4: Config: End of file encountered inside class cfg/A/B/"));
  EXPECT_EQ(diagnostics.Count("End of file encountered inside class"), 1);
  EXPECT_EQ(file.GetEntryCount(), 1);
  EXPECT_EQ(file.FindEntry("before")->GetInt(), 1);
  Expect("class A {", PTRSyntax, "File cfg, line 1: Config: End of file encountered inside class cfg/A/");
  Expect("a = \"never closed", PTRSyntax, "File cfg, line 1: Config: End of file encountered after never closed");
}

TEST_F(TextErrors, DeepNestingIsRefused) {
  std::string classes, arrays = "a[] = ";
  for (int i = 0; i < 5000; ++i) classes += "class C {";
  for (int i = 0; i < 5000; ++i) arrays += "{";
  Expect(classes, PTRSyntax, "Classes nested deeper than 128 levels");
  Expect(arrays, PTRSyntax, "Config: Arrays nested deeper than 128 levels");
  std::string fits;
  for (int i = 0; i < 100; ++i) fits += "class C {";
  for (int i = 0; i < 100; ++i) fits += "};";
  ParamFile file;
  EXPECT_EQ(ParseString(file, fits), PTROk);
}

TEST_F(TextErrors, HugeTokensAndNulBytes) {
  const std::string name(100000, 'n'), value(200000, 'v');
  ParamFile file;
  EXPECT_EQ(ParseString(file, name + " = " + value + ";\nq = \"" + value + "\";"), PTROk);
  EXPECT_EQ(file.FindEntry(name.c_str())->GetValueRaw().GetLength(), 200000);
  EXPECT_EQ(file.FindEntry("q")->GetValueRaw().GetLength(), 200000);
  ParamFile nul;
  EXPECT_EQ(ParseString(nul, std::string("a = 1;\n\0b = 2;", 14)), PTRSyntax);
  EXPECT_EQ(nul.FindEntry("a")->GetInt(), 1);
}

TEST_F(TextErrors, MessagesAreCutAt511Characters) {
  const std::string value(2000, 'v');
  Expect("a[] = {\"" + value + "\" x};", PTRSyntax, "File cfg, line 1: Config: 'x' encountered instead of ','");
  ParamFile file;
  ParseString(file, "a = \"" + value + "\" \\t \"\";");
  for (const std::string& line : diagnostics.lines) EXPECT_LE(line.size(), 512u);
}
