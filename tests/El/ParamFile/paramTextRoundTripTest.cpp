// Round trips of the text form: text to tree to text to tree keeps the tree, and a tree that went
// through the binary form writes the same text as one that did not.
#include <gtest/gtest.h>

#include <string>

#include "El/ParamFile/paramText.h"
#include "El/QStream/qstream.h"
#include "paramTextSupport.h"

namespace {

const char* const kConfig =
    "version = 3;\n"
    "scale = 0.25;\n"
    "gain = db-6;\n"
    "title = \"The \"\"Game\"\"\";\n"
    "notes = \"line one\" \\n \"line two\";\n"
    "path = C:\\Games\\Thing;\n"
    "formula = @x * 2;\n"
    "empty = \"\";\n"
    "numbers[] = {1, 2.5, -3};\n"
    "mixed[] = {1, \"two\", {3, {4, five}}, @y, \"\"};\n"
    "none[] = {};\n"
    "class Base { access = 1; speed = 10; };\n"
    "class Vehicle : Base {\n"
    "  class Wheels { count = 4; };\n"
    "  class Engine;\n"
    "  delete Trailer;\n"
    "  names[] = {\"a\", \"b\"};\n"
    "};\n";

std::string SaveToString(const ParamFile& file) {
  QOStrStream out;
  file.Save(out, 0, "\r\n");
  return std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
}

}  // namespace

TEST(TextRoundTrip, TextTreeTextTreeKeepsTheTree) {
  ParamFile first;
  ASSERT_EQ(ParseString(first, kConfig), PTROk);
  const std::string once = SaveToString(first);
  ParamFile second;
  ASSERT_EQ(ParseString(second, once), PTROk);
  EXPECT_EQ(SaveToString(second), once);
  EXPECT_STREQ(second.FindEntry("title")->GetValueRaw(), "The \"Game\"");
  EXPECT_STREQ(second.FindEntry("notes")->GetValueRaw(), "line one\nline two");
  EXPECT_TRUE(second.FindEntry("formula")->IsExpression());
  EXPECT_TRUE(second.FindEntry("scale")->IsFloatValue());
  EXPECT_STREQ(second.FindClassPath("Vehicle")->GetClassInterface()->GetBaseClass()->GetName(), "Base");
  EXPECT_EQ(second.FindClassPath("Vehicle")->GetAccess(), 1);
  EXPECT_EQ((*second.FindEntry("mixed"))[2][1][1].GetValueRaw(), RefString("five"));
}

TEST(TextRoundTrip, FloatsKeepTheirValueAndKind) {
  ParamFile first;
  ASSERT_EQ(ParseString(first, "tiny = 1e-7; pi = 3.1415927; big = 123456792.0; quarter = 0.25;\n"
                                "list[] = {1e-7, 2.5};\n"),
            PTROk);
  const std::string text = SaveToString(first);
  EXPECT_NE(text.find("quarter=0.250000;"), std::string::npos);  // exact values keep the usual form
  ParamFile second;
  ASSERT_EQ(ParseString(second, text), PTROk);
  for (const char* name : {"tiny", "pi", "big", "quarter"}) {
    ASSERT_TRUE(second.FindEntry(name)->IsFloatValue()) << name;
    EXPECT_EQ(second.FindEntry(name)->GetFloat(), first.FindEntry(name)->GetFloat()) << name;
  }
  EXPECT_EQ((*second.FindEntry("list"))[0].GetFloat(), 1e-7f);
}

TEST(TextRoundTrip, BinaryFormWritesTheSameText) {
  ParamFile text;
  ASSERT_EQ(ParseString(text, kConfig), PTROk);
  QOStrStream binary;
  ASSERT_TRUE(text.SaveBin(binary));
  QIStrStream in;
  in.open(binary);
  ParamFile loaded;
  ASSERT_EQ(loaded.ParseBin(in), PBROk);
  EXPECT_EQ(SaveToString(loaded), SaveToString(text));
}

TEST(TextRoundTrip, SaveTextWritesAFileThatParsesBack) {
  ParamFile original;
  ASSERT_EQ(ParseString(original, kConfig), PTROk);
  TempConfig config("");
  ASSERT_TRUE(SaveText(original, config.Name()));
  ParamFile loaded;
  ASSERT_EQ(ParseText(loaded, config.Name()), PTROk);
  EXPECT_EQ(SaveToString(loaded), SaveToString(original));
}
