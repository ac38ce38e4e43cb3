// The config text parser: what each form builds, and the forms around values, arrays, classes,
// enums, __EXEC, __EVAL and #line.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "El/ParamFile/paramText.h"
#include "El/ParamFile/preprocessor.h"
#include "El/QStream/qstream.h"
#include "support/captureDiagnostics.h"
#include "paramTextSupport.h"

namespace {

class TextParse : public ::testing::Test {
 protected:
  int Parse(const std::string& text) { return ParseString(file, text); }

  ParamEntryPtr Entry(const char* name) { return file.FindEntry(name); }

  CaptureDiagnostics diagnostics;
  ParamFile file;
};

}  // namespace

// ---- values ---------------------------------------------------------------------------------------------

TEST_F(TextParse, PlainValuesAreClassifiedAsIntegerFloatOrText) {
  ASSERT_EQ(Parse("a=1; b=1.5; c=\"1\"; d=abc; e=0x1F; f=db-20; g=-5; h=1e3; i=1 2; j=0x; k=0X1g;\n"), PTROk);
  EXPECT_TRUE(Entry("a")->IsIntValue());
  EXPECT_EQ(Entry("a")->GetInt(), 1);
  EXPECT_TRUE(Entry("b")->IsFloatValue());
  EXPECT_FLOAT_EQ(Entry("b")->GetFloat(), 1.5f);
  EXPECT_TRUE(Entry("c")->IsTextValue());
  EXPECT_STREQ(Entry("c")->GetValueRaw(), "1");
  EXPECT_TRUE(Entry("d")->IsTextValue());
  EXPECT_STREQ(Entry("d")->GetValueRaw(), "abc");
  EXPECT_EQ(Entry("e")->GetInt(), 31);
  EXPECT_TRUE(Entry("f")->IsFloatValue());
  EXPECT_NEAR(Entry("f")->GetFloat(), 0.1f, 1e-6);
  EXPECT_EQ(Entry("g")->GetInt(), -5);
  EXPECT_TRUE(Entry("h")->IsFloatValue());
  EXPECT_STREQ(Entry("i")->GetValueRaw(), "1 2");
  EXPECT_TRUE(Entry("j")->IsTextValue());
  EXPECT_TRUE(Entry("k")->IsTextValue());
  EXPECT_TRUE(diagnostics.lines.empty());
}

TEST_F(TextParse, DbValueWithTrailingBytesIsLoggedAndKept) {
  ASSERT_EQ(Parse("a=db0x;"), PTROk);
  EXPECT_TRUE(Entry("a")->IsFloatValue());
  EXPECT_FLOAT_EQ(Entry("a")->GetFloat(), 1.0f);
  EXPECT_TRUE(diagnostics.Contains("invalid db value db0x"));
}

TEST_F(TextParse, ExpressionsKeepTheirText) {
  ASSERT_EQ(Parse("a = @x + 1;\nb = @\"q\"\"s\";"), PTROk);
  EXPECT_TRUE(Entry("a")->IsExpression());
  EXPECT_STREQ(Entry("a")->GetValueRaw(), "x + 1");
  EXPECT_STREQ(Entry("b")->GetValueRaw(), "q\"s");
}

TEST_F(TextParse, QuotedStringsDoubleQuotesAndJoinLines) {
  ASSERT_EQ(Parse("a = \"say \"\"hi\"\"\";\nb = \"one\" \\n \"two\";\nc = \"one\"\n  \\n\n  \"two\";\n"
                  "d = \"back\\slash\";\ne = \"\";"),
            PTROk);
  EXPECT_STREQ(Entry("a")->GetValueRaw(), "say \"hi\"");
  EXPECT_STREQ(Entry("b")->GetValueRaw(), "one\ntwo");
  EXPECT_STREQ(Entry("c")->GetValueRaw(), "one\ntwo");
  EXPECT_STREQ(Entry("d")->GetValueRaw(), "back\\slash");
  EXPECT_TRUE(Entry("e")->IsTextValue());
  EXPECT_STREQ(Entry("e")->GetValueRaw(), "");
  EXPECT_TRUE(diagnostics.lines.empty());
}

TEST_F(TextParse, MissingSemicolonIsAWarning) {
  ASSERT_EQ(Parse("a = 1\nb = \"x\" c = 2;\n"), PTROk);
  EXPECT_EQ(Entry("a")->GetInt(), 1);
  EXPECT_STREQ(Entry("b")->GetValueRaw(), "x");
  EXPECT_EQ(Entry("c")->GetInt(), 2);
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 1: 'cfg.a': Missing ';' at the end of line"));
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 2: 'cfg.b': Missing ';' at the end of line"));
}

TEST_F(TextParse, EvalReplacesThePlainText) {
  ScopedEvaluator evaluator;
  ASSERT_EQ(Parse("a = __EVAL(7);\narr[] = {__EVAL2.5};\nb = \"__EVAL(1)\";"), PTROk);
  EXPECT_EQ(Entry("a")->GetInt(), 7);
  EXPECT_FLOAT_EQ((*Entry("arr"))[0].GetFloat(), 2.5f);
  EXPECT_STREQ(Entry("b")->GetValueRaw(), "__EVAL(1)");
}

// ---- arrays ----------------------------------------------------------------------------------------------

TEST_F(TextParse, ArrayElementsOfEveryKind) {
  ASSERT_EQ(Parse("arr[] = {1, 2.5, t, {3, 4}, @x+1};"), PTROk);
  const ParamEntry& array = *Entry("arr");
  ASSERT_TRUE(array.IsArray());
  ASSERT_EQ(array.GetSize(), 5);
  EXPECT_TRUE(array[0].IsIntValue());
  EXPECT_TRUE(array[1].IsFloatValue());
  EXPECT_TRUE(array[2].IsTextValue());
  ASSERT_TRUE(array[3].IsArrayValue());
  EXPECT_EQ(array[3].GetItemCount(), 2);
  EXPECT_EQ(array[3][1].GetInt(), 4);
  EXPECT_TRUE(array[4].IsExpression());
  EXPECT_STREQ(array[4].GetValueRaw(), "x+1");
}

TEST_F(TextParse, EmptyElementsFollowTheSeparators) {
  ASSERT_EQ(Parse("a[]={}; b[]={1,2,}; c[]={,}; d[]={1;2}; e[] = { \"x\" , \"\" };"), PTROk);
  EXPECT_EQ(Entry("a")->GetSize(), 0);
  EXPECT_EQ(Entry("b")->GetSize(), 2);
  ASSERT_EQ(Entry("c")->GetSize(), 1);
  EXPECT_STREQ((*Entry("c"))[0].GetValueRaw(), "");
  EXPECT_EQ(Entry("d")->GetSize(), 2);
  EXPECT_EQ(Entry("e")->GetSize(), 2);
  ASSERT_EQ(Parse("f[] = {@\"\"}; g[] = {@}; h[] = {@,};"), PTROk);
  EXPECT_EQ(Entry("f")->GetSize(), 1);  // quoted: kept even when empty
  EXPECT_EQ(Entry("g")->GetSize(), 0);
  EXPECT_EQ(Entry("h")->GetSize(), 1);
}

TEST_F(TextParse, ArrayElementsMayContinueOnTheNextLine) {
  ASSERT_EQ(Parse("a[] = {\n  1,\n  2\n};\nb[] = {x\n,y};"), PTROk);
  EXPECT_EQ(Entry("a")->GetSize(), 2);
  EXPECT_EQ(Entry("b")->GetSize(), 2);
  EXPECT_STREQ((*Entry("b"))[0].GetValueRaw(), "x");
}

// ---- classes ----------------------------------------------------------------------------------------------

TEST_F(TextParse, ClassesWithBasesDeclarationsAndDeletes) {
  ASSERT_EQ(Parse("class A { x = 1; };\nclass B : A { y = 2; }\nclass C;\ndelete D;\n"
                  "class Outer { class Base {}; class Inner { class Derived : Base {}; }; };"),
            PTROk);
  ParamEntryPtr b = Entry("B");
  ASSERT_TRUE(b && b->IsClass());
  EXPECT_STREQ(b->GetClassInterface()->GetBaseClass()->GetName(), "A");
  EXPECT_EQ(b->FindEntry("x")->GetInt(), 1);
  EXPECT_FALSE(Entry("C")->IsDefined());
  EXPECT_TRUE(Entry("D")->IsDelete());
  ParamEntryPtr derived = file.FindClassPath("Outer/Inner/Derived");
  ASSERT_TRUE(derived);
  EXPECT_STREQ(derived->GetClassInterface()->GetBaseClass()->GetName(), "Base");
  EXPECT_EQ(file.GetEntryCount(), 5);
}

TEST_F(TextParse, KeywordsAreCaseSensitiveWholeWords) {
  ASSERT_EQ(Parse("Class = 1; classes = 2; Delete = 3;"), PTROk);
  EXPECT_EQ(Entry("Class")->GetInt(), 1);
  EXPECT_EQ(Entry("classes")->GetInt(), 2);
}

TEST_F(TextParse, SecondMemberOfTheSameNameIsReportedAndDropped) {
  ASSERT_EQ(Parse("class A { v = 1; };\nclass a { v = 2; };\nx = 1; X = 2;"), PTROk);
  EXPECT_EQ(file.GetEntryCount(), 2);
  EXPECT_EQ(Entry("A")->FindEntry("v")->GetInt(), 1);
  EXPECT_EQ(Entry("x")->GetInt(), 1);
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 2: cfg.a: Member already defined."));
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 3: cfg.X: Member already defined."));
}

TEST_F(TextParse, AccessMemberSetsTheClassLevel) {
  ASSERT_EQ(Parse("class A { access = 2; v = 1; };\nclass B { Access = 2; };\nclass C : A {};"), PTROk);
  EXPECT_EQ(Entry("A")->GetAccess(), 2);
  EXPECT_EQ(Entry("B")->GetAccess(), PADefault);
  EXPECT_EQ(Entry("C")->GetAccess(), 2);  // inherited when the class is complete
}

TEST_F(TextParse, BigClassesStayFindable) {
  std::string text = "class Big {\n";
  for (int i = 0; i < 300; ++i) text += "m" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
  text += "m17 = 0;\nM18 = 0;\n= 1;\n= 2;\n};";
  ASSERT_EQ(Parse(text), PTROk);
  EXPECT_EQ(Entry("Big")->GetEntryCount(), 301);  // with the one member of no name
  EXPECT_EQ(Entry("Big")->FindEntry("M250")->GetInt(), 250);
  EXPECT_EQ(Entry("Big")->FindEntry("m18")->GetInt(), 18);
  EXPECT_EQ(diagnostics.Count("Member already defined."), 3);
}

// ---- enum, __EXEC, #line ----------------------------------------------------------------------------------

TEST_F(TextParse, EnumDefinesEvaluatorVariablesAndNoEntry) {
  ScopedEvaluator evaluator;
  ASSERT_EQ(Parse("enum {A, B=5, C};\nenum Named\n{ D = 2.5, E }\nx = 1;"), PTROk);
  EXPECT_EQ(file.GetEntryCount(), 1);
  const std::vector<std::string> expected = {"A=0", "B=5", "C=6", "D=2", "E=3"};
  EXPECT_EQ(evaluator.log.variables, expected);
}

TEST_F(TextParse, ExecPassesItsTextToTheEvaluator) {
  ScopedEvaluator evaluator;
  ASSERT_EQ(Parse("__EXEC(a = 1; b = 2);;\n__EXEC (c);\nx = 1;"), PTROk);
  const std::vector<std::string> expected = {"a = 1; b = 2", "c"};
  EXPECT_EQ(evaluator.log.executed, expected);
  EXPECT_EQ(Entry("x")->GetInt(), 1);
}

TEST_F(TextParse, LineDirectiveMovesTheReportedPosition) {
  ASSERT_EQ(Parse("a = 1;\n#line 100 \"other.hpp\"\nb = 1;\nb = 2;\n#line 0x20 plain.h\nc[] = {\n#line 7 x\n1};\nc=1;"),
            PTROk);
  EXPECT_TRUE(diagnostics.Contains("File other.hpp, line 101: cfg.b: Member already defined."));
  EXPECT_TRUE(diagnostics.Contains("File x, line 8: cfg.c: Member already defined."));
}

TEST_F(TextParse, LineNumbersStayInRange) {
  ASSERT_EQ(Parse("#line 2147483647 top\n\n\na = 1;\na = 2;\n#line -2147483648 bottom\nb = 1;\nb = 2;"), PTROk);
  EXPECT_TRUE(diagnostics.Contains("File top, line 2147483647: cfg.a: Member already defined."));
  EXPECT_TRUE(diagnostics.Contains("File bottom, line -2147483646: cfg.b: Member already defined."));
}

TEST_F(TextParse, MessagesNameTheLineOfTheProblem) {
  EXPECT_EQ(Parse("a = 1;\n\n\nclass A {\n  b = 1;\n  b = 2;\n};"), PTROk);
  EXPECT_TRUE(diagnostics.Contains("File cfg, line 6: cfg/A.b: Member already defined."));
}

// ---- the line mode, the combined parse, files ---------------------------------------------------------------

TEST(TextLines, EveryTokenBecomesALine) {
  TempConfig config("first \"two words\"\n\tthird   \r\nfourth");
  ParamFile file;
  ASSERT_EQ(ParseLines(file, config.Name()), PTROk);
  ASSERT_EQ(file.GetEntryCount(), 4);
  EXPECT_STREQ(file.FindEntry("Line1")->GetValueRaw(), "first");
  EXPECT_STREQ(file.FindEntry("Line2")->GetValueRaw(), "two words");
  EXPECT_STREQ(file.FindEntry("Line4")->GetValueRaw(), "fourth");
}

TEST(TextFiles, MissingFileParsesAsNothing) {
  ParamFile file;
  EXPECT_EQ(ParseText(file, "no/such/config.cpp"), PTROk);
  EXPECT_STREQ(file.GetName(), "no/such/config.cpp");
  EXPECT_EQ(file.GetEntryCount(), 0);
  EXPECT_EQ(ParseLines(file, "no/such/config.cpp"), PTROk);
}

TEST(TextFiles, FailingPreprocessorGivesSyntaxResult) {
  struct Refusing : PreprocessorFunctions {
    bool PreprocessFile(QOStream&, const char*, int) override { return false; }
  } refusing;
  TempConfig config("a = 1;");
  PreprocessorFunctions* previous = GPreprocessorFunctions;
  GPreprocessorFunctions = &refusing;
  ParamFile file;
  EXPECT_EQ(ParseText(file, config.Name()), PTRSyntax);
  EXPECT_EQ(ParseLines(file, config.Name()), PTRSyntax);
  GPreprocessorFunctions = previous;
}

TEST(TextFiles, ParseTriesTextWhenTheFileIsNotBinary) {
  TempConfig config("class A { v = 3; };");
  ParamFile file;
  EXPECT_TRUE(Parse(file, config.Name()));
  EXPECT_EQ(file.FindClassPath("A")->FindEntry("v")->GetInt(), 3);
  EXPECT_STREQ(file.GetName(), config.Name());
}

TEST(TextFiles, MessagesNameTheFile) {
  CaptureDiagnostics diagnostics;
  TempConfig config("a = 1;\na = 2;");
  ParamFile file;
  EXPECT_EQ(ParseText(file, config.Name()), PTROk);
  EXPECT_TRUE(diagnostics.Contains("File " + std::string(config.Name()) + ", line 2: "));
}
