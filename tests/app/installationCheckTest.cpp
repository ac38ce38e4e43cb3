// The patch run's verification mode over a game laid out in a temporary folder: an intact
// installation, every missing and damaged file named in one check, an installation at the patch's
// version, a version the patch has no list of, an unfinished update and a payload that does not match
// its table. Every check runs on a disk that counts changes: a verification makes none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "patchRunFixture.h"
#include "support/faultInjectingFileSystem.h"

namespace {

using namespace patchruntest;

class InstallationCheckTest : public PatchRunTest {
 protected:
  // The check with a disk that fails the first change it is asked for; the result, with *events the
  // screen's lines, and the whole folder unchanged.
  int Verify(std::string* events) {
    const Tree before = Everything();
    FaultInjectingFileSystem disk;
    disk.failChangeAt = 1;
    ui::ScriptedInterface screen;
    options.verifyOnly = true;
    const int result = Run();
    *events = Events(screen);
    EXPECT_EQ(disk.changes, 0) << *events;
    EXPECT_EQ(Everything(), before) << *events;
    EXPECT_EQ(events->find("question"), std::string::npos) << "nothing is asked:" << *events;
    return result;
  }
};

TEST_F(InstallationCheckTest, IntactThenEveryMissingAndDamagedFileNamed) {
  std::string events;
  EXPECT_EQ(Verify(&events), app::kPatchDone) << events;
  EXPECT_NE(events.find("The installation is intact: all 4 files of version 1.05"), std::string::npos) << events;

  std::ofstream(folder.Path() / "game" / "readme.txt", std::ios::app) << "changed";
  std::ofstream(folder.Path() / "game" / "Data" / "Map.pak", std::ios::binary | std::ios::trunc) << "short";
  std::filesystem::remove(folder.Path() / "game" / "Data" / "Sound.wav");
  EXPECT_EQ(Verify(&events), app::kPatchFailed) << events;
  EXPECT_NE(events.find("File Data\\Sound.wav is missing."), std::string::npos) << events;
  EXPECT_NE(events.find("Error found in file Data\\Map.pak"), std::string::npos) << events;
  EXPECT_NE(events.find("Error found in file readme.txt"), std::string::npos) << events;
  EXPECT_NE(events.find("of the 4 files of version 1.05, 1 missing and 2 damaged"), std::string::npos) << events;
}

TEST_F(InstallationCheckTest, PatchedGameAgainstItsOwnVersion) {
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  ASSERT_EQ(Run(), app::kPatchDone) << Events(screen);
  std::string events;
  EXPECT_EQ(Verify(&events), app::kPatchDone) << events;
  EXPECT_NE(events.find("files of version 1.08"), std::string::npos) << events;
  ASSERT_TRUE(std::filesystem::remove(folder.Path() / "game" / "TOOLS" / "editor.exe"));
  EXPECT_EQ(Verify(&events), app::kPatchFailed) << events;
  EXPECT_NE(events.find("Tools\\Editor.exe is missing"), std::string::npos) << events;
}

TEST_F(InstallationCheckTest, RefusedWithoutAListAnUnfinishedUpdateOrATrustedPayload) {
  std::string events;
  store.Remove("CRC\\1.05\\CRC.CRC");
  EXPECT_EQ(Verify(&events), app::kPatchFailed) << events;
  EXPECT_NE(events.find("carries no checksum list of version 1.05"), std::string::npos) << events;

  steppatch::AddStep(store, 1, 5, 6, versions.v105, versions.v106);
  std::ofstream(folder.Path() / "game" / "zrpatch.journal", std::ios::binary)
      << "zrpatch journal 1\nI\tfrom\t1.05\t.\nI\tpatch\t1.08\t.\n";
  EXPECT_EQ(Verify(&events), app::kPatchFailed) << events;
  EXPECT_NE(events.find("from version 1.05 to version 1.08 did not complete"), std::string::npos) << events;
  std::filesystem::remove(folder.Path() / "game" / "zrpatch.journal");

  // A list changed after the table was signed: refused as a run refuses it, before any file is read.
  SignPayloadTable();
  signPayloadTable = false;
  store.Add("CRC\\1.05\\CRC.CRC", "readme.txt 00000000\n");
  EXPECT_EQ(Verify(&events), app::kPatchFailed) << events;
  EXPECT_NE(events.find("Patch file is corrupted"), std::string::npos) << events;
  EXPECT_EQ(events.find("Verifying"), std::string::npos) << events;
}

}  // namespace
