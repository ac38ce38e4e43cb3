#include "launchers/yamlText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using launchers::Node;

Node Parsed(const std::string& text) {
  Node root;
  std::string error;
  EXPECT_TRUE(launchers::ParseYaml(text, &root, &error)) << error << "\n" << text;
  return root;
}

std::string Refusal(const std::string& text) {
  Node root;
  std::string error;
  EXPECT_FALSE(launchers::ParseYaml(text, &root, &error)) << text;
  EXPECT_TRUE(root.members.empty() && root.text.empty());
  return error;
}

// A Lutris game file as its YAML library writes it: lists at their key's indentation, a long path
// wrapped onto the next line, quoted texts.
const char kLutrisGame[] =
    "game:\n"
    "  arch: win64\n"
    "  exe: /home/player/Games/example game/drive_c/Program Files (x86)/Example Game/Example\n"
    "    Game Launcher.exe\n"
    "  prefix: '/home/player/Games/example game'\n"
    "  working_dir: \"/home/player/Games/example game/drive_c/\\u00dcber\"\n"
    "system:\n"
    "  env:\n"
    "    DXVK_HUD: '0'\n"
    "  exclude_processes:\n"
    "  - winedevice.exe\n"
    "  - 'it''s.exe'\n"
    "wine:\n"
    "  version: lutris-7.2-2-x86_64\n"
    "name: Example Game\n";

TEST(YamlText, ReadsALutrisGameFile) {
  const Node root = Parsed(kLutrisGame);
  ASSERT_TRUE(root.IsMap());
  const Node* game = root.Find("game");
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->TextOf("arch"), "win64");
  EXPECT_EQ(game->TextOf("exe"),
            "/home/player/Games/example game/drive_c/Program Files (x86)/Example Game/Example Game Launcher.exe");
  EXPECT_EQ(game->TextOf("prefix"), "/home/player/Games/example game");
  EXPECT_EQ(game->TextOf("working_dir"), "/home/player/Games/example game/drive_c/\xC3\x9C" "ber");
  const Node* processes = root.Find("system")->Find("exclude_processes");
  ASSERT_TRUE(processes && processes->IsList());
  ASSERT_EQ(processes->members.size(), 2u);
  EXPECT_EQ(processes->members[1].value.text, "it's.exe");
  EXPECT_EQ(root.Find("system")->Find("env")->TextOf("DXVK_HUD"), "0");
  EXPECT_EQ(root.Find("wine")->TextOf("version"), "lutris-7.2-2-x86_64");
  EXPECT_EQ(root.TextOf("name"), "Example Game");
}

TEST(YamlText, ReadsABottle) {
  const Node root = Parsed(
      "---\n"
      "Arch: win64\n"
      "Custom_Path: false\n"
      "External_Programs:\n"
      "  5f0a0a0e-3b0d-4d7c-9b7a-1d2c3e4f5a6b:\n"
      "    executable: game.exe\n"
      "    name: Example Game   # the program's name\n"
      "    path: /home/player/Games/Example/game.exe\n"
      "Installed_Dependencies: []\n"
      "Environment_Variables: {}\n"
      "Name: Games\n"
      "Path: Games\n"
      "Runner: soda-7.0-9\n"
      "Parameters: {dxvk: true, 'vkd3d': false,\n"
      "  sync: \"fsync\"}\n"
      "...\n");
  EXPECT_EQ(root.TextOf("Runner"), "soda-7.0-9");
  EXPECT_EQ(root.TextOf("Custom_Path"), "false");
  const Node* programs = root.Find("External_Programs");
  ASSERT_TRUE(programs && programs->IsMap());
  ASSERT_EQ(programs->members.size(), 1u);
  EXPECT_EQ(programs->members[0].value.TextOf("name"), "Example Game");
  EXPECT_EQ(programs->members[0].value.TextOf("path"), "/home/player/Games/Example/game.exe");
  EXPECT_TRUE(root.Find("Installed_Dependencies")->IsList());
  EXPECT_TRUE(root.Find("Environment_Variables")->IsMap());
  const Node* parameters = root.Find("Parameters");
  ASSERT_TRUE(parameters && parameters->IsMap());
  EXPECT_EQ(parameters->TextOf("dxvk"), "true");
  EXPECT_EQ(parameters->TextOf("vkd3d"), "false");
  EXPECT_EQ(parameters->TextOf("sync"), "fsync");
}

TEST(YamlText, ScalarsOfEveryStyle) {
  const Node root = Parsed(
      "plain: a b   \n"
      "empty:\n"
      "folded quoted: \"one\n"
      "  two\n"
      "\n"
      "  three \\\n"
      "  four\\x41\\t\\u00e9\\U0001F3AE\"\n"
      "single: 'a ''b''\n"
      "   c'\n"
      "literal: |\n"
      "  line one\n"
      "    indented\n"
      "\n"
      "folded: >-\n"
      "  joined\n"
      "  words\n"
      "\n"
      "  paragraph\n"
      "kept: |+\n"
      "  x\n"
      "\n"
      "items:\n"
      "  - - nested\n"
      "    - list\n"
      "  - key: value\n"
      "    other: more\n"
      "  -\n"
      "    below: it\n"
      "  - multi\n"
      "    line item\n"
      "\"quoted key\": 1\n"
      "url: http://example.com/a#b\n"
      "windows: C:\\Games\\Example\n");
  EXPECT_EQ(root.TextOf("plain"), "a b");
  EXPECT_TRUE(root.Find("empty")->IsText());
  EXPECT_EQ(root.TextOf("empty"), "");
  EXPECT_EQ(root.TextOf("folded quoted"), "one two\nthree four\x41\t\xC3\xA9\xF0\x9F\x8E\xAE");
  EXPECT_EQ(root.TextOf("single"), "a 'b' c");
  EXPECT_EQ(root.TextOf("literal"), "line one\n  indented\n");
  EXPECT_EQ(root.TextOf("folded"), "joined words\nparagraph");
  EXPECT_EQ(root.TextOf("kept"), "x\n\n");
  const Node* items = root.Find("items");
  ASSERT_TRUE(items && items->IsList());
  ASSERT_EQ(items->members.size(), 4u);
  EXPECT_EQ(items->members[0].value.members[1].value.text, "list");
  EXPECT_EQ(items->members[1].value.TextOf("other"), "more");
  EXPECT_EQ(items->members[2].value.TextOf("below"), "it");
  EXPECT_EQ(items->members[3].value.text, "multi line item");
  EXPECT_EQ(root.TextOf("quoted key"), "1");
  EXPECT_EQ(root.TextOf("url"), "http://example.com/a#b");
  EXPECT_EQ(root.TextOf("windows"), "C:\\Games\\Example");
  // A document of one scalar, and an empty one.
  EXPECT_EQ(Parsed("just text\n").text, "just text");
  EXPECT_TRUE(Parsed("# nothing\n").IsText());
}

TEST(YamlText, DamagedOrUnsupportedFilesAreRefusedWithTheirLine) {
  EXPECT_EQ(Refusal("a:\n\tb: c\n"), "line 2: a tab in the indentation");
  EXPECT_EQ(Refusal("a: b\n  - c\nd\n"), "line 3: a line that is no \"key: value\" among the keys of a mapping");
  EXPECT_EQ(Refusal("a:\n    b: 1\n  c: 2\n"), "line 3: indented more than the keys before it");
  EXPECT_EQ(Refusal("  a: 1\nb: 2\n"), "line 2: more after the document");
  EXPECT_EQ(Refusal("- a\nb: c\n"), "line 2: more after the document");
  EXPECT_EQ(Refusal("a: &anchor b\n"), "line 1: anchors, aliases and tags are not supported");
  EXPECT_EQ(Refusal("a: !!python/object x\n"), "line 1: anchors, aliases and tags are not supported");
  EXPECT_EQ(Refusal("? a\n: b\n"), "line 1: complex keys are not supported");
  EXPECT_EQ(Refusal("%YAML 1.1\n---\na: b\n"), "line 1: directives are not supported");
  EXPECT_EQ(Refusal("a: b\n---\nc: d\n"), "line 2: a second document (only one is read)");
  EXPECT_EQ(Refusal("a: \"open\n"), "line 1: a quoted text is not closed");
  EXPECT_EQ(Refusal("a: [b, c\n"), "line 2: a flow collection is not closed");
  EXPECT_EQ(Refusal("a: [b c] d\n"), "line 1: more after a quoted text or a flow collection");
  EXPECT_EQ(Refusal("a: \"\\q\"\n"), "line 1: an unknown escape \\q");
  EXPECT_EQ(Refusal("a: \"\\ud800\"\n"), "line 1: an escape names no character");
  EXPECT_EQ(Refusal("a:\n  - b\n  c: d\n"), "line 3: indented more than the keys before it");
  EXPECT_EQ(Refusal(std::string("a: b\x00", 5)), "line 1: a NUL byte (this is no text file)");

  // Every cut inside a key, a quoted text or a flow collection is refused, every other cut reads.
  const std::string text = "key: \"value\"\nlist: [a, {b: c}]\n";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    Node root;
    std::string error;
    const bool inside = (cut >= 6 && cut <= 11) || (cut >= 14 && cut <= 17) || (cut >= 20 && cut <= 29);
    EXPECT_EQ(launchers::ParseYaml(text.substr(0, cut), &root, &error), !inside) << cut << " " << error;
  }
}

TEST(YamlText, LimitsOfSizeDepthAndCount) {
  std::string deep;
  for (int i = 0; i < launchers::kMaxDepth; ++i) deep += std::string(static_cast<std::size_t>(i) * 2, ' ') + "k:\n";
  EXPECT_TRUE(Parsed(deep).IsMap());
  EXPECT_EQ(Refusal(deep + std::string(64, ' ') + "k: v\n"), "line 33: nested deeper than 32");
  EXPECT_EQ(Refusal("a: " + std::string(40, '[') + std::string(40, ']') + "\n"), "line 1: nested deeper than 32");
  std::string many;
  for (std::size_t i = 0; i < launchers::kMaxNodes; ++i) many += "- x\n";
  EXPECT_EQ(Refusal(many), "line 200000: more than 200000 values");
  EXPECT_EQ(Refusal(std::string(launchers::kMaxFileBytes + 1, ' ')), "larger than 8 MiB");
}

}  // namespace
