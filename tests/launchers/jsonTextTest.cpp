#include "launchers/jsonText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using launchers::Node;

Node Parsed(const std::string& text) {
  Node root;
  std::string error;
  EXPECT_TRUE(launchers::ParseJson(text, &root, &error)) << error;
  return root;
}

std::string Refusal(const std::string& text) {
  Node root;
  std::string error;
  EXPECT_FALSE(launchers::ParseJson(text, &root, &error)) << text;
  return error;
}

const char kGamesConfig[] =
    "{\n"
    "  \"Sugar\": {\n"
    "    \"autoInstallDxvk\": true,\n"
    "    \"winePrefix\": \"/home/player/Games/Heroic/Prefixes/Rocket League\",\n"
    "    \"wineVersion\": {\n"
    "      \"bin\": \"/home/player/.config/heroic/tools/wine/Wine-GE-Proton8-26/bin/wine\",\n"
    "      \"name\": \"Wine - Wine-GE-Proton8-26\",\n"
    "      \"type\": \"wine\"\n"
    "    },\n"
    "    \"enviromentOptions\": [],\n"
    "    \"maxSharpness\": 2.5e0\n"
    "  }\n"
    "}\n";

TEST(JsonText, ReadsHeroicsGameSettings) {
  const Node root = Parsed(kGamesConfig);
  const Node* game = root.Find("Sugar");
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->TextOf("winePrefix"), "/home/player/Games/Heroic/Prefixes/Rocket League");
  EXPECT_EQ(game->TextOf("autoInstallDxvk"), "true");
  EXPECT_EQ(game->TextOf("maxSharpness"), "2.5e0");
  EXPECT_EQ(game->Find("wineVersion")->TextOf("type"), "wine");
  EXPECT_TRUE(game->Find("enviromentOptions")->IsList());
  EXPECT_TRUE(game->Find("enviromentOptions")->members.empty());
  EXPECT_EQ(game->Find("winePrefix", true), game->Find("wineprefix", true));
}

TEST(JsonText, EscapesToUtf8AndTheWholeGrammar) {
  const Node root = Parsed("\xEF\xBB\xBF [\"a\\\"\\\\\\/\\b\\f\\n\\r\\t\", \"\\u00e9\\u20ac\\ud83c\\udfae\", -0.5, 10, null, false, {}]");
  ASSERT_TRUE(root.IsList());
  ASSERT_EQ(root.members.size(), 7u);
  EXPECT_EQ(root.members[0].value.text, "a\"\\/\b\f\n\r\t");
  EXPECT_EQ(root.members[1].value.text, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAE");
  EXPECT_EQ(root.members[2].value.text, "-0.5");
  EXPECT_EQ(root.members[4].value.text, "null");
  EXPECT_TRUE(root.members[6].value.IsMap());
  EXPECT_EQ(Parsed("\"\\u0000\"").text, std::string(1, '\0'));  // kept; the caller judges texts
}

TEST(JsonText, DamagedFilesAreRefusedWithTheirLine) {
  EXPECT_EQ(Refusal("{\n\"a\": 1,\n}"), "line 3: a member name (a string) is missing");
  EXPECT_EQ(Refusal("{\"a\" 1}"), "line 1: a ':' is missing after a member name");
  EXPECT_EQ(Refusal("[1 2]"), "line 1: a ',' or ']' is missing");
  EXPECT_EQ(Refusal("{} {}"), "line 1: more after the value");
  EXPECT_EQ(Refusal("\"tab\there\""), "line 1: a control character inside a string");
  EXPECT_EQ(Refusal("\"\\ud800\""), "line 1: a \\u escape is half of a surrogate pair");
  EXPECT_EQ(Refusal("\"\\udc00\""), "line 1: a \\u escape is half of a surrogate pair");
  EXPECT_EQ(Refusal("\"\\u12G4\""), "line 1: a \\u escape has a character that is no hexadecimal digit");
  EXPECT_EQ(Refusal("\"\\u12\""), "line 1: a \\u escape has fewer than four digits");
  EXPECT_EQ(Refusal("\"\\x\""), "line 1: an unknown escape \\x");
  EXPECT_EQ(Refusal("01"), "line 1: more after the value");
  EXPECT_EQ(Refusal("1."), "line 1: a number has no digits after its '.'");
  EXPECT_EQ(Refusal("-"), "line 1: a number has no digits");
  EXPECT_EQ(Refusal("tru"), "line 1: not a JSON value");
  EXPECT_EQ(Refusal(""), "line 1: a value is missing");

  // Every strict prefix of a document is refused.
  const std::string text = kGamesConfig;
  for (std::size_t cut = 0; cut + 2 < text.size(); ++cut) {
    Node root;
    std::string error;
    EXPECT_FALSE(launchers::ParseJson(text.substr(0, cut), &root, &error)) << cut;
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(root.members.empty() && root.text.empty());
  }
}

TEST(JsonText, LimitsOfSizeDepthAndCount) {
  const std::string deep = std::string(launchers::kMaxDepth, '[') + std::string(launchers::kMaxDepth, ']');
  EXPECT_TRUE(Parsed(deep).IsList());
  EXPECT_EQ(Refusal("[" + deep + "]"), "line 1: nested deeper than 32");
  std::string many = "[";
  for (std::size_t i = 0; i < launchers::kMaxNodes; ++i) many += "0,";
  EXPECT_EQ(Refusal(many + "0]"), "line 1: more than 200000 values");
  EXPECT_EQ(Refusal(std::string(launchers::kMaxFileBytes + 1, ' ')), "larger than 8 MiB");
}

}  // namespace
