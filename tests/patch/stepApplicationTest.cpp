#include "patch/stepApplication.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "install/uninstallLog.h"
#include "patch/applyPatch.h"
#include "platform/fileSystem.h"
#include "support/faultInjectingFileSystem.h"
#include "support/memoryEntrySource.h"
#include "support/stepPatch.h"
#include "support/tempFolder.h"
#include "stepRun.h"
#include "ui/messages.h"
#include "ui/scriptedInterface.h"
#include "support/currentRunMessages.h"

namespace {

using steppatch::Tree;

std::string Pattern(char seed, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + (i * 7 + i / 13) % 61);
  return bytes;
}

// Version 1.05 of a small game, and 1.06 with a changed file (kept spelled as installed), a new file in
// a new folder, a deleted file and an unchanged one.
Tree Before() {
  return {{"Game.exe", Pattern('a', 3000)},
          {"Data\\Map.pak", Pattern('b', 70000)},
          {"Data\\Old.pak", Pattern('c', 500)},
          {"Data\\Same.pak", Pattern('d', 800)}};
}
Tree After() {
  Tree tree = Before();
  tree["Game.exe"] = Pattern('a', 2000) + "patched";
  tree["Data\\Map.pak"] = Pattern('b', 40000) + Pattern('q', 45000);
  tree.erase("Data\\Old.pak");
  tree["Maps\\New\\first.map"] = Pattern('e', 1200);
  return tree;
}

class StepApplication : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::SetMessageLanguage(1033);
    testsupport::UninstallList().Clear();
    destination = folder.Path().string() + "/";
    ASSERT_TRUE(steppatch::WriteTree(folder.Path(), Before()));
    steppatch::AddStep(store, 1, 5, 6, Before(), After());
    // "patch.log" goes to the current folder: a folder of the test's own, restored afterwards.
    platform::CurrentFileSystem()->CurrentFolder(&startFolder);
    platform::CurrentFileSystem()->SetCurrentFolder(logFolder.Path().string().c_str());
  }
  void TearDown() override {
    platform::CurrentFileSystem()->SetCurrentFolder(startFolder.c_str());
    ui::SetMessageLanguage(0);
  }

  std::string Log() const {
    std::ifstream in(folder.Path() / "uninstall.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TempFolder folder;
  TempFolder logFolder;
  std::string startFolder;
  std::string destination;
  MemoryEntrySource store;
  ui::ScriptedInterface script;
};

TEST_F(StepApplication, StepBringsTheInstallationToTheNewVersion) {
  const steppatch::RunResult result = steppatch::RunUpdate(store, destination, 5, 6);
  EXPECT_TRUE(result.wholeFilesCopied) << result.failedFile;
  // A new file is created in lower case, in folders spelled as the entry's name has them (upper case);
  // the changed files keep their spelling; nothing else is left.
  Tree files = After();
  files.erase("Maps\\New\\first.map");
  files["MAPS\\NEW\\first.map"] = After().at("Maps\\New\\first.map");
  files["uninstall.log"] = Log();  // compared by size and checksum; its text below
  EXPECT_EQ(steppatch::ReadTree(folder.Path()), steppatch::Digested(files));
  // The new file is the one line of the log; a plain step records no delta outputs.
  EXPECT_EQ(Log(), "F:" + destination + "MAPS\\NEW\\FIRST.MAP\r\n");
  EXPECT_TRUE(script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore).empty());
}

TEST_F(StepApplication, FailedDeltaAnsweredIgnoreAbortAndRetry) {
  MemoryEntrySource broken;
  steppatch::AddStep(broken, 1, 5, 6, Before(), After());
  std::string damaged = steppatch::Delta(Before().at("Data\\Map.pak"), After().at("Data\\Map.pak"));
  damaged[damaged.size() - 100] ^= 0x20;  // the window's checksum no longer holds
  broken.Add("1.05-1.06\\DATA\\MAP.PAK.UPD", damaged);

  // Ignore: the old file stays and the step goes on and succeeds.
  script.abortRetryIgnoreAnswers = {ui::kIgnore};
  steppatch::RunResult result = steppatch::RunUpdate(broken, destination, 5, 6, false);
  EXPECT_TRUE(result.stepsApplied);
  Tree installed = steppatch::ReadTree(folder.Path());
  EXPECT_EQ(installed.at("Data\\Map.pak"), steppatch::Digest(Before().at("Data\\Map.pak")));
  EXPECT_EQ(installed.at("Game.exe"), steppatch::Digest(After().at("Game.exe")));
  EXPECT_EQ(installed.count("Data\\Map.pak.tmp"), 0u);
  const std::vector<std::string> questions = script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].find("(00000000!=00000001)"), std::string::npos) << questions[0];
  bool logged = false;
  for (const std::string& line : script.Texts(ui::ScriptedInterface::EventKind::Log)) {
    logged = logged || line == "Update 1.05-1.06\\DATA\\MAP.PAK.UPD cannot be applied, error xdelta3 returned error code: 1";
  }
  EXPECT_TRUE(logged);

  // Retry, then Abort: asked twice, the step stops at the file, which is unchanged.
  ASSERT_TRUE(steppatch::WriteTree(folder.Path(), Before()));
  std::filesystem::remove_all(folder.Path() / "MAPS");
  script.events.clear();
  script.abortRetryIgnoreAnswers = {ui::kRetry, ui::kAbort};
  result = steppatch::RunUpdate(broken, destination, 5, 6, false);
  EXPECT_FALSE(result.stepsApplied);
  EXPECT_EQ(result.failedFile, "DATA\\MAP.PAK");  // as the entry names it
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore).size(), 2u);
  installed = steppatch::ReadTree(folder.Path());
  EXPECT_EQ(installed.at("Data\\Map.pak"), steppatch::Digest(Before().at("Data\\Map.pak")));
  EXPECT_EQ(installed.count("Data\\Map.pak.tmp"), 0u);
}

TEST_F(StepApplication, SubfolderReceivesUpdatedCopiesAndTheMainFolderStays) {
  patch::PatchJob job = testsupport::JobAsInRun();
  job.store = &store;
  job.destination = destination.c_str();
  job.subfolder = "Mod";
  job.prefix = "1.05-";
  patch::CollectEntries(job);
  patch::SelectForDistribution(job.names, {}, true);
  job.sourceMajor = job.targetMajor = 1;
  job.sourceMinor = 5;
  job.targetMinor = 6;
  // A deleted file has no copy in the subfolder to delete: the main folder keeps it, nothing is asked.
  ASSERT_TRUE(patch::ApplyStep(job)) << job.failedFile.Data();
  EXPECT_TRUE(script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore).empty());
  const Tree installed = steppatch::ReadTree(folder.Path());
  for (const auto& file : Before()) EXPECT_EQ(installed.at(file.first), steppatch::Digest(file.second)) << file.first;
  EXPECT_EQ(installed.at("mod\\data\\map.pak"), steppatch::Digest(After().at("Data\\Map.pak")));
  EXPECT_EQ(installed.at("mod\\game.exe"), steppatch::Digest(After().at("Game.exe")));
  // Delta outputs in a subfolder are recorded for the uninstaller, with every folder on the way.
  bool recorded = false;
  for (int i = 0; i < testsupport::UninstallList().Size(); ++i) {
    recorded = recorded || std::string(testsupport::UninstallList()[i].Data()) == "F:" + steppatch::Lower(destination) + "mod\\data\\map.pak.tmp";
  }
  EXPECT_TRUE(recorded);
}

TEST_F(StepApplication, NotEnoughRoomStopsBeforeAnyChange) {
  FaultInjectingFileSystem files;
  files.freeSpace = 10 * 1048576;  // less than any changed file needs beside its margin
  const steppatch::RunResult result = steppatch::RunUpdate(store, destination, 5, 6, false);
  EXPECT_FALSE(result.roomChecked);
  EXPECT_EQ(steppatch::ReadTree(folder.Path()), steppatch::Digested(Before()));
}

// The room is that of the volume holding each file, not of its drive's root: a game on another disk
// mounted below Z:\ of a prefix (a Steam library on an SD card) has that disk's room.
TEST_F(StepApplication, RoomIsThatOfTheVolumeHoldingTheFile) {
  class Volumes : public FaultInjectingFileSystem {
   public:
    bool FreeSpace(const char* name, std::uint64_t* bytes) override {
      *bytes = std::string(name).size() <= 3 ? rootBytes : fileBytes;
      return true;
    }
    std::uint64_t rootBytes = 0, fileBytes = 0;
  };
  Volumes volumes;
  volumes.rootBytes = 1u << 30;
  volumes.fileBytes = 1048576;
  EXPECT_FALSE(steppatch::RunUpdate(store, destination, 5, 6, false).roomChecked);
  EXPECT_EQ(steppatch::ReadTree(folder.Path()), steppatch::Digested(Before()));
  volumes.rootBytes = 0;
  volumes.fileBytes = 1u << 30;
  EXPECT_TRUE(steppatch::RunUpdate(store, destination, 5, 6, false).roomChecked);
}

// A disk that fills at any point, or a rename or delete that fails, never costs a file: every file is
// in its old or its new version, and no temporary file is left once the run is over.
TEST_F(StepApplication, FullDiskOrFailingRenameLeavesEveryFileWhole) {
  const Tree before = Before();
  const Tree after = After();
  auto check = [&](const std::string& what) {
    const Tree installed = steppatch::ReadTree(folder.Path());
    for (const auto& file : installed) {
      if (file.first.back() == '\\' || file.first == "uninstall.log") continue;
      const auto old = before.find(file.first);
      const auto now = after.find(file.first);
      const bool oldVersion = old != before.end() && steppatch::Digest(old->second) == file.second;
      const bool newVersion =
          (now != after.end() && steppatch::Digest(now->second) == file.second) ||
          (file.first == "MAPS\\NEW\\first.map" && steppatch::Digest(after.at("Maps\\New\\first.map")) == file.second);
      EXPECT_TRUE(oldVersion || newVersion) << what << ": " << file.first;
    }
    for (const auto& file : before) {
      if (after.count(file.first)) {
        EXPECT_EQ(installed.count(file.first), 1u) << what << ": lost " << file.first;
      }
    }
  };
  for (std::int64_t space = 0; space < 160000; space += 4096) {
    {
      FaultInjectingFileSystem files;
      files.diskSpace = space;
      files.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::DiskFull);
      script.abortRetryIgnoreAnswers = {ui::kAbort, ui::kAbort, ui::kAbort};
      steppatch::RunUpdate(store, destination, 5, 6, false);
    }
    check("disk full after " + std::to_string(space) + " bytes");
    ASSERT_TRUE(steppatch::WriteTree(folder.Path(), before));
    std::filesystem::remove_all(folder.Path() / "MAPS");
    std::filesystem::remove(folder.Path() / "uninstall.log");
  }
  for (int failing = 1; failing <= 6; ++failing) {
    {
      FaultInjectingFileSystem files;
      files.failRenameAt = failing;
      script.abortRetryIgnoreAnswers = {ui::kAbort, ui::kAbort, ui::kAbort};
      steppatch::RunUpdate(store, destination, 5, 6, false);
    }
    check("rename " + std::to_string(failing) + " failing");
    ASSERT_TRUE(steppatch::WriteTree(folder.Path(), before));
    std::filesystem::remove_all(folder.Path() / "MAPS");
    std::filesystem::remove(folder.Path() / "uninstall.log");
  }
}

// A whole file that does not match its list is written again on Retry, and never replaces anything:
// after Ignore the target stays as it was (here: absent), with no temporary file left.
TEST_F(StepApplication, WholeFileFailingVerificationIsWrittenAgainOnRetryAndNeverInstalled) {
  MemoryEntrySource patch;
  patch.Add("ALL\\DATA\\EXTRA.PAK", "extra content");
  patch.Add("CRC\\1.06\\CRC.CRC", "Data\\extra.pak 00000001\n");  // never matches
  patch::PatchJob job = testsupport::JobAsInRun();
  job.store = &patch;
  job.destination = destination.c_str();
  job.prefix = "ALL\\";
  job.sourceMajor = job.targetMajor = 1;
  job.sourceMinor = job.targetMinor = 6;
  patch::CollectEntries(job);
  script.abortRetryIgnoreAnswers = {ui::kRetry, ui::kIgnore};
  patch::CopyWholeFiles(job);
  EXPECT_FALSE(job.failed);
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore).size(), 2u);
  const steppatch::Tree installed = steppatch::ReadTree(folder.Path());
  EXPECT_EQ(installed.count("Data\\extra.pak"), 0u);
  EXPECT_EQ(installed.count("Data\\extra.pak.tmp"), 0u);
  // With the right checksum it is written, and lower-cased the name finds the installed folder "Data".
  char line[64];
  std::snprintf(line, sizeof line, "Data\\extra.pak %08x\n", static_cast<unsigned>(Crc32Of("extra content", 13)));
  patch.Add("CRC\\1.06\\CRC.CRC", line);
  testsupport::UninstallList().Clear();
  patch::CopyWholeFiles(job);
  EXPECT_FALSE(job.failed);
  EXPECT_EQ(steppatch::ReadTree(folder.Path()).at("Data\\extra.pak"), "extra content");
  ASSERT_EQ(testsupport::UninstallList().Size(), 1);
  EXPECT_EQ(std::string(testsupport::UninstallList()[0].Data()), "F:" + steppatch::Lower(destination) + "data\\extra.pak.tmp");
}

TEST(ApplyPatch, ActionsBySuffix) {
  ui::SetMessageLanguage(1033);
  TempFolder folder;
  const std::string base = folder.Path().string() + "/";
  // Failures are logged to "patch.log" in the current folder, and printed.
  std::string startFolder;
  platform::CurrentFileSystem()->CurrentFolder(&startFolder);
  platform::CurrentFileSystem()->SetCurrentFolder(base.c_str());
  ASSERT_TRUE(steppatch::WriteTree(folder.Path(), {{"x.pak", "old"}, {"x.pak.equ.#GERMAN", "E"}, {"y.new", "new"}}));
  DynArray<RefString> list;
  {
    patch::ApplyPatch action(list, false);
    EXPECT_EQ(action.Apply((base + "x.pak.tmp").c_str(), (base + "x.pak.equ.#GERMAN").c_str(), (base + "x.pak").c_str(), 1),
              patch::kActionNothing);
    EXPECT_EQ(action.Apply((base + "x.pak.tmp").c_str(), (base + "x.pak.INI").c_str(), (base + "x.pak").c_str(), 1),
              patch::kActionNothing);
    EXPECT_EQ(action.ApplyByName(base.c_str(), base.c_str(), base.c_str(), "y.new"), patch::kActionNothing);
    EXPECT_EQ(action.Apply((base + "z.pak.tmp").c_str(), (base + "z.pak.del").c_str(), (base + "z.pak").c_str(), 1),
              patch::kActionFailed);
    EXPECT_EQ(std::string(action.ErrorText()), "Cannot remove file " + base + "z.pak");
    EXPECT_EQ(action.Apply((base + "x.pak.tmp").c_str(), (base + "x.pak.bak").c_str(), (base + "x.pak").c_str(), 1),
              patch::kActionFailed);
    EXPECT_EQ(std::string(action.ErrorText()), "Unknown patch extension: \".bak\"");
  }
  // A delta named with a distribution suffix decodes like any other; from the entry's bytes it needs no file.
  const std::string delta = steppatch::Delta("old", "old and new");
  {
    patch::ApplyPatch action(list, true);
    MemoryEntrySource store;
    store.Add("DELTA", delta);
    patch::EntryRange entry;
    ASSERT_TRUE(store.Find("DELTA", &entry));
    action.UsePayloadEntry(store, entry);
    EXPECT_EQ(action.Apply((base + "x.pak.tmp").c_str(), (base + "x.pak.UPD.#USA").c_str(), (base + "x.pak").c_str(), 1),
              patch::kActionWritten);
    patch::WrittenFile written;
    ASSERT_TRUE(action.OutputChecksum(&written));
    EXPECT_EQ(written.size, 11u);
    EXPECT_EQ(written.crc, Crc32Of("old and new", 11));
  }
  EXPECT_EQ(steppatch::ReadTree(folder.Path()).at("x.pak.tmp"), "old and new");
  ASSERT_EQ(list.Size(), 1);
  EXPECT_EQ(std::string(list[0].Data()), "F:" + base + "x.pak.tmp");
  EXPECT_EQ(steppatch::ReadTree(folder.Path()).at("patch.log"),
            steppatch::Digest("Cannot remove file " + base + "z.pakUnknown patch extension: \".bak\""));
  // From a payload file the decoder writes the caller's temporary file itself: the output has that one
  // name on its way, no other temporary file and no rename before the caller's.
  ASSERT_TRUE(steppatch::WriteTree(folder.Path(), {{"w.pak", "old"}, {"w.pak.upd", delta}}));
  {
    FaultInjectingFileSystem counting;
    patch::ApplyPatch action(list, false);
    EXPECT_EQ(action.Apply((base + "w.pak.tmp").c_str(), (base + "w.pak.upd").c_str(), (base + "w.pak").c_str(), 1),
              patch::kActionWritten);
    EXPECT_EQ(counting.renames, 0);
  }
  const steppatch::Tree decoded = steppatch::ReadTree(folder.Path());
  EXPECT_EQ(decoded.at("w.pak.tmp"), "old and new");
  EXPECT_EQ(decoded.count("w.pak.tmp.part"), 0u);
  platform::CurrentFileSystem()->SetCurrentFolder(startFolder.c_str());
  ui::SetMessageLanguage(0);
}

}  // namespace
