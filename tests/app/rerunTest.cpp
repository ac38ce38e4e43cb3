// Runs that take up an earlier one: after a failure and the game restored, after a damaged entry
// followed by the good patch, and with commands whose files live in the working folder. Each ends as a
// clean run leaves the installation, byte for byte.
#include <gtest/gtest.h>

#include "Es/Containers/nameText.h"

#include "patchRunFixture.h"
#include "platform/process.h"
#include "support/faultInjectingFileSystem.h"

namespace {

using namespace patchruntest;
using Kind = ui::ScriptedInterface::EventKind;

class RerunTest : public PatchRunTest {
 protected:
  void SetUp() override {
    PatchRunTest::SetUp();
    pristine = folder.Path() / "pristine";
    std::filesystem::copy(folder.Path() / "game", pristine, std::filesystem::copy_options::recursive);
  }

  // The installation a clean run of the patch as it stands leaves; the game is then at 1.05 again.
  Tree CleanResult() {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
    const Tree clean = Installed();
    ReplaceGame(pristine);
    return clean;
  }

  int RunAnswering(std::vector<int> abortRetryIgnore, ui::ScriptedInterface* screen) {
    screen->yesNoAnswers = {true};
    screen->abortRetryIgnoreAnswers.assign(abortRetryIgnore.begin(), abortRetryIgnore.end());
    return Run();
  }

  std::filesystem::path pristine;
};

TEST_F(RerunTest, AfterAFailureTheRestoredGameIsCheckedAgainAndPatchedWhole) {
  const Tree clean = CleanResult();
  // The run fails in its second step, once the first step's files are new: the editor the second
  // step adds cannot be moved into place.
  {
    FaultInjectingFileSystem disk;
    disk.failRenameTo = "EDITOR.EXE";
    ui::ScriptedInterface screen;
    ASSERT_EQ(RunAnswering({ui::kAbort}, &screen), app::kPatchFailed) << Events(screen);
  }
  const std::filesystem::path journal = folder.Path() / "game" / "zrpatch.journal";
  ASSERT_TRUE(std::filesystem::exists(journal));
  ASSERT_NE(Installed(), steppatch::ReadTree(pristine)) << "the failed run had changed files";
  // The player reinstalls version 1.05 over the game, as the message advises (the journal stays), and
  // runs the patch again: what the journal calls done is not taken on trust but carried out again.
  const std::filesystem::path kept = folder.Path() / "journal";
  std::filesystem::copy_file(journal, kept);
  ReplaceGame(pristine);
  std::filesystem::copy_file(kept, journal);
  {
    ui::ScriptedInterface screen;
    ASSERT_EQ(RunAnswering({}, &screen), app::kPatchDone) << Events(screen);
    EXPECT_TRUE(AnyContains(screen.Texts(Kind::Log), "did not complete; the installation is checked again"));
  }
  EXPECT_EQ(LinkPresent(Installed()), LinkPresent(clean));

  // A failed run, and the game left as it is, a mix of versions: the rerun completes it the same way.
  ReplaceGame(pristine);
  {
    FaultInjectingFileSystem disk;
    disk.failRenameTo = "EDITOR.EXE";
    ui::ScriptedInterface screen;
    ASSERT_EQ(RunAnswering({ui::kAbort}, &screen), app::kPatchFailed);
  }
  ui::ScriptedInterface screen;
  ASSERT_EQ(RunAnswering({}, &screen), app::kPatchDone) << Events(screen);
  EXPECT_EQ(LinkPresent(Installed()), LinkPresent(clean));

  // A file damaged between the runs is neither the old version nor the new one: named, and the run
  // stops before it changes anything more.
  ReplaceGame(pristine);
  {
    FaultInjectingFileSystem disk;
    disk.failRenameTo = "EDITOR.EXE";
    ui::ScriptedInterface failing;
    ASSERT_EQ(RunAnswering({ui::kAbort}, &failing), app::kPatchFailed);
  }
  ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"readme.txt", "damaged"}}));
  const Tree damaged = Installed();
  ui::ScriptedInterface refused;
  EXPECT_EQ(RunAnswering({ui::kAbort}, &refused), app::kPatchFailed);
  EXPECT_TRUE(AnyContains(refused.Texts(Kind::Log), "Error found in file readme.txt")) << Events(refused);
  EXPECT_EQ(Installed(), damaged);
}

// A disk that fills during the run: the log names the file, the operation and the cause before
// message 9, and once there is room again the same patch completes the installation.
TEST_F(RerunTest, ADiskThatFillsDuringTheRunIsNamedAndTheRerunCompletes) {
  const Tree clean = CleanResult();
  {
    FaultInjectingFileSystem disk;
    disk.diskSpace = 30000;  // room for the first files, not for all of them
    disk.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::DiskFull);
    ui::ScriptedInterface screen;
    ASSERT_EQ(RunAnswering({ui::kAbort, ui::kAbort}, &screen), app::kPatchFailed) << Events(screen);
    const std::vector<std::string> lines = screen.Texts(Kind::Log);
    std::size_t cause = lines.size(), phase = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (cause == lines.size() && lines[i].find("(it is full)") != std::string::npos) cause = i;
      if (lines[i].find("Patch file is probably dammaged") != std::string::npos) phase = i;
    }
    ASSERT_LT(cause, lines.size()) << Events(screen);
    EXPECT_EQ(lines[cause].rfind("Cannot write " + install, 0), 0u) << lines[cause];
    EXPECT_LT(cause, phase) << "the cause comes first";
  }
  ui::ScriptedInterface screen;
  ASSERT_EQ(RunAnswering({}, &screen), app::kPatchDone) << Events(screen);
  EXPECT_EQ(LinkPresent(Installed()), LinkPresent(clean));
}

// A ".NEW" entry that does not match its list is written and checked, but never renamed into the game;
// the good patch then completes the installation.
TEST_F(RerunTest, ADamagedNewFileIsNeverInstalledAndTheGoodPatchRepairsNothingBroken) {
  const Tree clean = CleanResult();
  const MemoryEntrySource good = store;
  // A patch of the original format, its payload not signed: the damaged entry reaches the step.
  key = TestKey::ManifestOnly;
  signPayloadTable = false;
  options.unsignedPayload = app::UnsignedPayload::Apply;
  store.Remove(patch::kPayloadTableEntry);
  store.Remove(patch::kPayloadTableSignatureEntry);
  Sign(ManifestText("1.08", true, ""));
  (*store.Bytes("1.06-1.08\\TOOLS\\EDITOR.EXE.NEW"))[2] ^= 0x20;
  {
    ui::ScriptedInterface screen;
    ASSERT_EQ(RunAnswering({ui::kAbort}, &screen), app::kPatchFailed) << Events(screen);
    EXPECT_TRUE(AnyContains(screen.Texts(Kind::Log), "Error found in file Tools\\Editor.exe")) << Events(screen);
  }
  for (const auto& file : Installed()) {
    EXPECT_EQ(UpperAscii(file.first).find("EDITOR.EXE"), std::string::npos) << file.first << ": nothing damaged was installed";
  }
  // The good patch, signed, run over what the failed one left.
  store = good;
  key = TestKey::Development;
  signPayloadTable = true;
  ui::ScriptedInterface screen;
  ASSERT_EQ(RunAnswering({}, &screen), app::kPatchDone) << Events(screen);
  EXPECT_EQ(LinkPresent(Installed()), LinkPresent(clean));
}

// The manifest's commands run in the working folder with the temporary group's files, also when a run
// takes up a failed one (the working folder is made anew: its files are written again every time); a
// working folder that cannot be entered starts no command, saying so.
class CommandWatcher : public platform::ProcessLauncher {
 public:
  explicit CommandWatcher(std::string file) : file_(std::move(file)), previous_(platform::SetProcessLauncher(this)) {}
  ~CommandWatcher() override { platform::SetProcessLauncher(previous_); }
  bool Start(const char* commandLine, const char*, platform::StartFlags, platform::ProcessHandle* process,
             platform::StartFailure*) override {
    bool isFolder = false;
    started.push_back(std::string(commandLine) +
                      (platform::CurrentFileSystem()->Exists(file_.c_str(), &isFolder) ? " (file there)" : " (no file)"));
    *process = 1;
    return true;
  }
  bool Wait(platform::ProcessHandle) override { return true; }
  bool ExitCode(platform::ProcessHandle, std::uint32_t* code) override {
    *code = 0;
    return true;
  }
  void Close(platform::ProcessHandle) override {}
  std::vector<std::string> started;

 private:
  std::string file_;
  platform::ProcessLauncher* previous_;
};

TEST_F(RerunTest, CommandsFindTheirTemporaryFilesInEveryRun) {
  store.Add("TMP\\SETUP.BAT", "@echo setting up\r\n");
  store.Add("ADD\\BONUS.MAP", "bonus");
  Sign(ManifestText("1.08", true, "class Commands { class Setup { commandLine=\"setup.bat\"; }; };\n"));
  std::string temporary;
  ASSERT_TRUE(platform::TemporaryFolder(&temporary));
  CommandWatcher commands(temporary + "ZRPatch\\setup.bat");
  // The first run fails after its commands, in the addon group.
  {
    FaultInjectingFileSystem disk;
    disk.failRenameTo = "bonus.map";
    ui::ScriptedInterface screen;
    ASSERT_EQ(RunAnswering({ui::kAbort}, &screen), app::kPatchFailed) << Events(screen);
  }
  ui::ScriptedInterface screen;
  ASSERT_EQ(RunAnswering({}, &screen), app::kPatchDone) << Events(screen);
  EXPECT_EQ(commands.started, (std::vector<std::string>{"setup.bat (file there)", "setup.bat (file there)"}));

  // The working folder cannot be entered: no command starts, and the log says why.
  ReplaceGame(pristine);
  commands.started.clear();
  FaultInjectingFileSystem disk;
  disk.failSetCurrentFolder = true;
  ui::ScriptedInterface stuck;
  EXPECT_EQ(RunAnswering({}, &stuck), app::kPatchDone) << Events(stuck);
  EXPECT_TRUE(commands.started.empty());
  EXPECT_TRUE(AnyContains(stuck.Texts(Kind::Log), "The commands were not started: the working folder")) << Events(stuck);
}

}  // namespace
