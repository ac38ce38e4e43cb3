// The installation boundary in the patch run: a link inside the game folder or the working folder that
// leads out of it is refused before the first change, naming it, and nothing outside changes; removing
// the working folder removes a link in it, never what it leads to. Links are made where the platform
// can make them (Linux; Windows where the file system takes symbolic links).
#include <gtest/gtest.h>

#include <system_error>

#include "patchRunFixture.h"

namespace {

using namespace patchruntest;
using Kind = ui::ScriptedInterface::EventKind;

class BoundaryTest : public PatchRunTest {
 protected:
  void SetUp() override {
    PatchRunTest::SetUp();
    outside = folder.Path() / "outside";
    std::filesystem::create_directories(outside);
  }

  // Moves `relative` (a file or folder of the game) outside and leaves a link to it in its place.
  bool MoveOut(const std::string& relative) {
    const std::filesystem::path inGame = folder.Path() / "game" / relative;
    const std::filesystem::path away = outside / relative;
    std::error_code error;
    std::filesystem::create_directories(away.parent_path(), error);
    std::filesystem::rename(inGame, away, error);
    if (error) return false;
    if (std::filesystem::is_directory(away)) {
      std::filesystem::create_directory_symlink(away, inGame, error);
    } else {
      std::filesystem::create_symlink(away, inGame, error);
    }
    return !error;
  }

  std::filesystem::path outside;
};

TEST_F(BoundaryTest, LinksThatLeadOutOfTheGameAreRefusedBeforeAnythingChanges) {
  if (!MoveOut("Data")) GTEST_SKIP() << "this file system makes no symbolic links here";
  ASSERT_TRUE(MoveOut("readme.txt"));
  std::filesystem::permissions(outside / "readme.txt", std::filesystem::perms::owner_read,
                               std::filesystem::perm_options::replace);
  const Tree before = Everything();
  const auto mode = std::filesystem::status(outside / "readme.txt").permissions();
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  screen.abortRetryIgnoreAnswers = {ui::kAbort};
  EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
  const std::vector<std::string> lines = screen.Texts(Kind::Log);
  // Every path that leads out is named with the link it goes through; nothing was applied.
  EXPECT_TRUE(AnyContains(lines, "Refused to write " + install + "DATA\\MAP.PAK: the link " + install + "DATA leads out of"))
      << Events(screen);
  EXPECT_TRUE(AnyContains(lines, "Refused to write " + install + "README.TXT: the link " + install + "README.TXT leads out"))
      << Events(screen);
  EXPECT_FALSE(AnyContains(lines, "applied successfully"));
  EXPECT_EQ(Everything(), before) << "neither the game nor what its links lead to changed";
  EXPECT_EQ(std::filesystem::status(outside / "readme.txt").permissions(), mode) << "not even the mode";
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "game" / "zrpatch.journal"));
}

TEST_F(BoundaryTest, ALinkInTheWorkingFolderIsRemovedNotFollowed) {
  std::string temporary, working;
  ASSERT_TRUE(platform::TemporaryFolder(&temporary));
  ASSERT_TRUE(platform::ToNativePath((temporary + "ZRPatch").c_str(), &working));
  std::filesystem::create_directories(outside / "kept");
  steppatch::WriteTree(outside / "kept", {{"precious.txt", "not the run's"}});
  std::filesystem::create_directories(working);
  std::error_code error;
  std::filesystem::create_directory_symlink(outside / "kept", std::filesystem::path(working) / "left over", error);
  if (error) GTEST_SKIP() << "this file system makes no symbolic links here";

  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_EQ(steppatch::ReadTree(outside / "kept"), steppatch::Digested({{"precious.txt", "not the run's"}}));
  EXPECT_FALSE(std::filesystem::exists(working)) << "the working folder is gone, with the link in it";
}

TEST_F(BoundaryTest, AWorkingFolderThatIsALinkIsNotUsed) {
  std::string temporary, working;
  ASSERT_TRUE(platform::TemporaryFolder(&temporary));
  ASSERT_TRUE(platform::ToNativePath((temporary + "ZRPatch").c_str(), &working));
  std::filesystem::create_directories(std::filesystem::path(working).parent_path());
  std::error_code error;
  std::filesystem::create_directory_symlink(outside, working, error);
  if (error) GTEST_SKIP() << "this file system makes no symbolic links here";
  const Tree before = Everything();
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
  EXPECT_TRUE(AnyContains(screen.Texts(Kind::Log), "is a link; it is not used")) << Events(screen);
  EXPECT_EQ(Everything(), before);
}

}  // namespace
