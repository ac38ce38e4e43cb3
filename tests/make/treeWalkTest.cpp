// Walking installation trees: relative names with backslashes in the store's order, refusals of what
// Windows cannot reproduce (case collisions, illegal names, links out of the tree), patterns.

#include "make/treeWalk.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "makeTestSupport.h"
#include "support/tempFolder.h"

namespace {

using maketest::Mentions;
using maketest::Write;

std::vector<std::string> Names(const std::vector<make::TreeFile>& files) {
  std::vector<std::string> names;
  for (const make::TreeFile& file : files) names.push_back(file.relative);
  return names;
}

TEST(TreeWalk, NestedFoldersInTheStoresOrder) {
  TempFolder folder;
  Write(folder.Path() / "b.txt", "b");
  Write(folder.Path() / "Data" / "maps" / "Intro.map", "m");
  Write(folder.Path() / "data2" / "x", "");
  Write(folder.Path() / "A.txt", "a");
  const bool nonAscii = maketest::NonAsciiNamesKept(folder.Path());
  if (nonAscii) Write(folder.Path() / "Grüße" / "Straße.txt", "non-ASCII");
  std::filesystem::create_directories(folder.Path() / "empty" / "folder");
  std::vector<make::TreeFile> files;
  std::vector<std::string> problems;
  ASSERT_TRUE(make::WalkTree(folder.Path().string(), &files, &problems)) << problems[0];
  // Upper-case byte order: "DATA2\" before "DATA\" ('2' < '\').
  std::vector<std::string> expected{"A.txt", "b.txt", "data2\\x", "Data\\maps\\Intro.map"};
  if (nonAscii) expected.push_back("Grüße\\Straße.txt");
  EXPECT_EQ(Names(files), expected);
  EXPECT_EQ(maketest::Read(files[3].path), "m");
}

TEST(TreeWalk, NamesThatDifferOnlyInCaseAreRefused) {
  TempFolder folder;
  Write(folder.Path() / "Readme.txt", "1");
  Write(folder.Path() / "README.TXT", "2");
  if (std::filesystem::exists(folder.Path() / "readme.TXT") && maketest::Read(folder.Path() / "Readme.txt") == "2") {
    GTEST_SKIP() << "this file system ignores case";
  }
  std::vector<make::TreeFile> files;
  std::vector<std::string> problems;
  EXPECT_FALSE(make::WalkTree(folder.Path().string(), &files, &problems));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("only in case"), std::string::npos) << problems[0];
}

TEST(TreeWalk, IllegalWindowsNames) {
  for (const char* bad : {"CON", "nul.txt", "com1.dat", "LPT9", "a:b", "q?", "star*", "pipe|", "end.", "end ",
                          "tab\t", "", ".", ".."}) {
    EXPECT_FALSE(make::IsLegalWindowsName(bad)) << bad;
  }
  for (const char* good : {"CONSOLE", "com10", "a.b.c", "#tag", "Grüße", "x y"}) {
    EXPECT_TRUE(make::IsLegalWindowsName(good)) << good;
  }
}

TEST(TreeWalk, NamesWindowsCannotHoldAreReported) {
  TempFolder folder;
  Write(folder.Path() / "fine.txt", "1");
  std::error_code error;
  Write(folder.Path() / "what?.txt", "2");
  if (!std::filesystem::exists(folder.Path() / "what?.txt")) GTEST_SKIP() << "this file system refuses the name itself";
  std::vector<make::TreeFile> files;
  std::vector<std::string> problems;
  EXPECT_FALSE(make::WalkTree(folder.Path().string(), &files, &problems));
  EXPECT_TRUE(Mentions(problems, "what?.txt: not a name Windows can hold"));
}

TEST(TreeWalk, SymbolicLinks) {
  TempFolder folder;
  const auto tree = folder.Path() / "tree";
  Write(tree / "data" / "real.pak", "inside");
  Write(folder.Path() / "outside.pak", "secret");
  std::error_code error;
  std::filesystem::create_symlink(tree / "data" / "real.pak", tree / "alias.pak", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  std::vector<make::TreeFile> files;
  std::vector<std::string> problems;
  ASSERT_TRUE(make::WalkTree(tree.string(), &files, &problems)) << problems[0];
  EXPECT_EQ(Names(files), (std::vector<std::string>{"alias.pak", "data\\real.pak"}));

  std::filesystem::create_symlink(folder.Path() / "outside.pak", tree / "out.pak");
  std::filesystem::create_directory_symlink(tree, tree / "data" / "loop");
  std::filesystem::create_symlink(folder.Path() / "nothing", tree / "dangling");
  std::filesystem::create_directory_symlink(folder.Path(), tree / "up");
  problems.clear();
  EXPECT_FALSE(make::WalkTree(tree.string(), &files, &problems));
  EXPECT_EQ(problems.size(), 4u);
  EXPECT_TRUE(Mentions(problems, "out.pak: a symbolic link that leads out of the tree"));
  EXPECT_TRUE(Mentions(problems, "up: a symbolic link that leads out of the tree"));
  EXPECT_TRUE(Mentions(problems, "data\\loop: a symbolic link to a folder"));
  EXPECT_TRUE(Mentions(problems, "dangling: a symbolic link that leads nowhere"));
}

TEST(TreeWalk, DepthAndLengthLimits) {
  TempFolder folder;
  std::filesystem::path deep = folder.Path();
  for (int i = 0; i < make::kMaxTreeDepth + 1; ++i) deep /= "d";
  Write(deep / "f", "x");
  std::vector<make::TreeFile> files;
  std::vector<std::string> problems;
  EXPECT_FALSE(make::WalkTree(folder.Path().string(), &files, &problems));
  EXPECT_TRUE(Mentions(problems, "folders nested deeper than 64")) << (problems.empty() ? "" : problems[0]);

  TempFolder other;
  Write(other.Path() / std::string(120, 'a') / std::string(125, 'b'), "x");
  problems.clear();
  EXPECT_FALSE(make::WalkTree(other.Path().string(), &files, &problems));
  EXPECT_TRUE(Mentions(problems, "longer than 240 characters"));
  problems.clear();
  EXPECT_FALSE(make::WalkTree(other.File("no-such-tree"), &files, &problems));
  EXPECT_TRUE(Mentions(problems, "not a folder"));
}

TEST(TreeWalk, Patterns) {
  EXPECT_TRUE(make::MatchesPattern("*.log", "Logs\\Game.LOG"));
  EXPECT_TRUE(make::MatchesPattern("save/*", "Save\\slot1.sav"));
  EXPECT_TRUE(make::MatchesPattern("data\\?.pak", "DATA\\x.pak"));
  EXPECT_FALSE(make::MatchesPattern("data\\?.pak", "DATA\\xy.pak"));
  EXPECT_FALSE(make::MatchesPattern("*.log", "game.log.bak"));
  EXPECT_TRUE(make::MatchesPattern("**a*b", "xaxxb"));
}

}  // namespace
