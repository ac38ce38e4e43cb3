#include "launchers/vdfText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using launchers::Node;

Node Parsed(const std::string& text) {
  Node root;
  std::string error;
  EXPECT_TRUE(launchers::ParseVdf(text, &root, &error)) << error;
  return root;
}

std::string Refusal(const std::string& text) {
  Node root;
  std::string error;
  EXPECT_FALSE(launchers::ParseVdf(text, &root, &error)) << text;
  EXPECT_TRUE(root.members.empty());
  return error;
}

const char kLibraryFolders[] =
    "\"libraryfolders\"\n"
    "{\n"
    "\t\"0\"\n"
    "\t{\n"
    "\t\t\"path\"\t\t\"/home/player/.local/share/Steam\"\n"
    "\t\t\"label\"\t\t\"\"\n"
    "\t\t\"apps\"\n"
    "\t\t{\n"
    "\t\t\t\"228980\"\t\t\"404262992\"\n"
    "\t\t}\n"
    "\t}\n"
    "\t\"1\"\n"
    "\t{\n"
    "\t\t\"path\"\t\t\"/run/media/mmcblk0p1\"\n"
    "\t}\n"
    "}\n";

TEST(VdfText, ReadsSteamsLibraryListAsNestedMappings) {
  const Node root = Parsed(kLibraryFolders);
  ASSERT_EQ(root.members.size(), 1u);
  const Node* folders = root.Find("LibraryFolders", true);
  ASSERT_NE(folders, nullptr);
  EXPECT_EQ(root.Find("LibraryFolders"), nullptr);  // exact spelling unless asked otherwise
  ASSERT_TRUE(folders->IsMap());
  ASSERT_EQ(folders->members.size(), 2u);
  EXPECT_EQ(folders->members[0].name, "0");
  EXPECT_EQ(folders->members[0].value.TextOf("path"), "/home/player/.local/share/Steam");
  EXPECT_EQ(folders->members[0].value.TextOf("label"), "");
  EXPECT_EQ(folders->members[0].value.Find("apps")->TextOf("228980"), "404262992");
  EXPECT_EQ(folders->members[1].value.TextOf("PATH", true), "/run/media/mmcblk0p1");
  // A block asked for as a text reads as none.
  EXPECT_EQ(folders->members[0].value.TextOf("apps"), "");
}

TEST(VdfText, EscapesCommentsConditionsAndUnquotedWords) {
  const Node root = Parsed(
      "// written by hand\n"
      "AppState {\n"
      "  appid 1234 // the app\n"
      "  \"name\" \"Quote \\\" back\\\\slash\\ttab\\nline \\q\"\n"
      "  \"installdir\" \"Example Game\" [$LINUX]\n"
      "  \"UserConfig\" [$WIN32] { \"language\" \"german\" }\n"
      "  \"multi\" \"two\nlines\"\n"
      "}\n");
  const Node* app = root.Find("appstate", true);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->TextOf("appid"), "1234");
  EXPECT_EQ(app->TextOf("name"), "Quote \" back\\slash\ttab\nline \\q");
  EXPECT_EQ(app->TextOf("installdir"), "Example Game");
  EXPECT_EQ(app->Find("UserConfig")->TextOf("language"), "german");
  EXPECT_EQ(app->TextOf("multi"), "two\nlines");
  ASSERT_EQ(app->members.size(), 5u);  // conditions are no members

  // A quoted "[...]" is a key like any other.
  EXPECT_EQ(Parsed("\"[x]\" \"y\"").TextOf("[x]"), "y");
  // An empty file is an empty mapping.
  EXPECT_TRUE(Parsed("").IsMap());
  EXPECT_TRUE(Parsed("").members.empty());
}

TEST(VdfText, DamagedFilesAreRefusedWithTheirLine) {
  EXPECT_EQ(Refusal("\"a\"\n{\n\"b\" \"c\"\n"), "line 4: the end of the file comes before the '}' of the block opened on line 2");
  EXPECT_EQ(Refusal("\"a\" \"b\"\n}\n"), "line 2: a '}' closes no block");
  EXPECT_EQ(Refusal("\"a\"\n{\n\"b\" \"unclosed\n}\n"), "line 3: a quoted text is not closed");
  EXPECT_EQ(Refusal("\"a\" {\n\"lonely\"\n}"), "line 2: the key \"lonely\" has no value");
  EXPECT_EQ(Refusal("{ \"a\" \"b\" }"), "line 1: a block has no key before its '{'");
  EXPECT_EQ(Refusal(std::string("\"a\"\n\"b\x00\"", 9)), "line 2: a NUL byte (this is no text file)");
  EXPECT_EQ(Refusal("\"a\""), "line 1: the key \"a\" has no value");

  // Every cut inside a block is refused; cuts between top-level pairs are whole files.
  const std::string text = kLibraryFolders;
  for (std::size_t cut = 1; cut + 1 < text.size(); ++cut) {
    Node root;
    std::string error;
    EXPECT_FALSE(launchers::ParseVdf(text.substr(0, cut), &root, &error)) << cut;
    EXPECT_FALSE(error.empty());
  }
}

TEST(VdfText, LimitsOfSizeDepthAndCount) {
  std::string deep;
  for (int i = 0; i < launchers::kMaxDepth; ++i) deep += "k {";
  deep += "\"v\" \"w\"";
  for (int i = 0; i < launchers::kMaxDepth; ++i) deep += "}";
  Node root = Parsed(deep);
  EXPECT_EQ(Refusal("k { " + deep + " }"), "line 1: blocks nested deeper than 32");

  std::string many;
  for (std::size_t i = 0; i <= launchers::kMaxNodes; ++i) many += "a b\n";
  EXPECT_EQ(Refusal(many), "line 200001: more than 200000 values");
  EXPECT_EQ(Refusal(std::string(launchers::kMaxFileBytes + 1, ' ')), "larger than 8 MiB");
}

}  // namespace
