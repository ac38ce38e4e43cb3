// The signed payload table in the patch run: every change to a signed patch's payload is refused
// before the start question with nothing written; patches of the original format are taken as each
// program takes them; steps that do not reach the patch's version are refused; and success is reported
// only when the installation is proven to be the new version.
#include <gtest/gtest.h>

#include <functional>

#include "patchRunFixture.h"
#include "support/faultInjectingProcessLauncher.h"
#include "vcdiff/deltaBuilder.h"

namespace {

using namespace patchruntest;
using Kind = ui::ScriptedInterface::EventKind;

class SignedPayloadTest : public PatchRunTest {
 protected:
  void SetUp() override {
    PatchRunTest::SetUp();
    store.Add("TMP\\SETUP.BAT", "@echo setting up\r\n");
    store.Add("XDELTA3.EXE", "MZ the publisher's delta tool");
  }

  // Runs the patch as it stands and expects it refused before anything was asked or written, with a
  // box that begins with `box` and mentions `detail`.
  void ExpectRefused(const std::string& what, const std::string& box, const std::string& detail) {
    SCOPED_TRACE(what);
    const Tree before = Everything();
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
    const std::vector<std::string> boxes = screen.Texts(Kind::Message);
    ASSERT_EQ(boxes.size(), 1u) << Events(screen);
    EXPECT_EQ(boxes[0].rfind(box, 0), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find(detail), std::string::npos) << boxes[0];
    EXPECT_TRUE(screen.Texts(Kind::YesNo).empty()) << "refused before the start question";
    EXPECT_EQ(Everything(), before);
  }
};

TEST_F(SignedPayloadTest, EveryChangeToTheSignedPayloadIsRefusedBeforeAnythingChanges) {
  SignPayloadTable();
  signPayloadTable = false;  // what an attacker does: the genuine table and its signature stay
  const MemoryEntrySource genuine = store;
  const auto flip = [](const char* name, std::size_t at) {
    return [name, at](MemoryEntrySource& changed) { (*changed.Bytes(name))[at] ^= 0x20; };
  };
  const auto rename = [](const char* from, const char* to) {
    return [from, to](MemoryEntrySource& changed) {
      const std::string bytes = *changed.Bytes(from);
      changed.Remove(from);
      changed.Add(to, bytes);
    };
  };
  const struct {
    const char* what;
    std::function<void(MemoryEntrySource&)> change;
    const char* detail;
  } attacks[] = {
      {"a new file's byte", flip("1.05-1.06\\DATA\\NEW.PAK.NEW", 100), "1.05-1.06\\DATA\\NEW.PAK.NEW: its bytes differ"},
      {"a delta's byte", flip("1.05-1.06\\DATA\\MAP.PAK.UPD", 20), "1.05-1.06\\DATA\\MAP.PAK.UPD: its bytes differ"},
      {"a whole file's byte", flip("ALL\\DOCS\\MANUAL.TXT", 0), "ALL\\DOCS\\MANUAL.TXT: its bytes differ"},
      {"a temporary file's byte", flip("TMP\\SETUP.BAT", 3), "TMP\\SETUP.BAT: its bytes differ"},
      {"a checksum list's byte", flip("CRC\\1.08\\CRC.CRC", 2), "CRC\\1.08\\CRC.CRC: its bytes differ"},
      {"the delta tool replaced",
       [](MemoryEntrySource& changed) { changed.Add("XDELTA3.EXE", "MZ somebody else's program, longer"); },
       "XDELTA3.EXE: "},
      {"an entry's name changed by one byte", rename("1.06-1.08\\TOOLS\\EDITOR.EXE.NEW", "1.06-1.08\\TOOLS\\EDITOR.EXF.NEW"),
       "1.06-1.08\\TOOLS\\EDITOR.EXF.NEW: not in the publisher's payload table"},
      {"an entry added", [](MemoryEntrySource& changed) { changed.Add("ALL\\EXTRA.DLL", "MZ"); },
       "ALL\\EXTRA.DLL: not in the publisher's payload table"},
      {"an entry removed", [](MemoryEntrySource& changed) { changed.Remove("1.06-1.08\\README.TXT.UPD"); },
       "1.06-1.08\\README.TXT.UPD: listed in the payload table, but the patch does not carry it"},
      {"the table changed", flip(patch::kPayloadTableEntry, 40), "PAYLOAD.TABLE.SIGN: the signature does not hold"},
      {"the table's signature removed",
       [](MemoryEntrySource& changed) { changed.Remove(patch::kPayloadTableSignatureEntry); }, "PAYLOAD.TABLE.SIGN: missing"},
  };
  for (const auto& attack : attacks) {
    store = genuine;
    attack.change(store);
    ExpectRefused(attack.what, "Patch file is corrupted: ", attack.detail);
  }

  // Table and signature both taken away: a key of 3072 bits always comes with a table.
  store = genuine;
  store.Remove(patch::kPayloadTableEntry);
  store.Remove(patch::kPayloadTableSignatureEntry);
  ExpectRefused("no table", "Patch file is corrupted: it carries no signed payload table", "3072 bits");

  // The payload rebuilt for another game state, the genuine manifest, table and signatures put back.
  MemoryEntrySource rebuilt, original = genuine;
  steppatch::AddStep(rebuilt, 1, 5, 8, versions.v105, versions.v106);
  for (const char* kept : {"VERSION.CFG", "VERSION.CFG.SIGN", patch::kPayloadTableEntry,
                           patch::kPayloadTableSignatureEntry}) {
    rebuilt.Add(kept, *original.Bytes(kept));
  }
  store = rebuilt;
  ExpectRefused("payload rebuilt", "Patch file is corrupted: ", "payload table");

  // The genuine patch applies.
  store = genuine;
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
}

TEST_F(SignedPayloadTest, PatchesOfTheOriginalFormatAreTakenAsEachProgramTakesThem) {
  key = TestKey::ManifestOnly;
  signPayloadTable = false;
  Sign(ManifestText("1.08", true, "class Commands { class Setup { commandLine=\"setup.bat\"; }; };\n"));
  const std::filesystem::path pristine = folder.Path() / "pristine";
  std::filesystem::copy(folder.Path() / "game", pristine, std::filesystem::copy_options::recursive);
  FaultInjectingProcessLauncher launcher;
  launcher.ReportExitCode("setup.bat", 0);

  // The Linux program's default: refused, saying why and how to allow it.
  options.unsignedPayload = app::UnsignedPayload::Refuse;
  ExpectRefused("refused", "This patch carries no signed payload table", "--allow-unsigned-payload");

  // Allowed by the player: applied, without starting the commands or the delta tool it carries.
  options.unsignedPayload = app::UnsignedPayload::ApplyNoPrograms;
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    ASSERT_EQ(Run(), app::kPatchDone) << Events(screen);
    EXPECT_TRUE(launcher.commandLines.empty());
    EXPECT_TRUE(AnyContains(screen.Texts(Kind::Log), "its commands were not started"));
  }
  // The Windows program: applied as the format always was, commands included.
  ReplaceGame(pristine);
  options.unsignedPayload = app::UnsignedPayload::Apply;
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    ASSERT_EQ(Run(), app::kPatchDone) << Events(screen);
    EXPECT_EQ(launcher.commandLines, std::vector<std::string>{"setup.bat"});
  }

  // A table signed with the 1024-bit key is not trusted: such a key signs manifests only.
  ReplaceGame(pristine);
  signPayloadTable = true;
  ExpectRefused("small key", "Patch file is corrupted: ", "1024 bits");
}

TEST_F(SignedPayloadTest, StepsThatDoNotReachThePatchsVersionAreRefusedBeforeAnythingChanges) {
  const MemoryEntrySource complete = store;
  std::vector<std::string> secondStep;
  store.EnumerateNames([](const char* name, void* context) {
    if (std::string(name).rfind("1.06-1.08\\", 0) == 0) static_cast<std::vector<std::string>*>(context)->push_back(name);
  }, &secondStep);
  ASSERT_FALSE(secondStep.empty());
  for (const std::string& name : secondStep) store.Remove(name);
  ExpectRefused("no second step", "This patch cannot bring version 1.05 to version 1.08",
                "it has no step from version 1.06");

  store = complete;
  store.Add("1.05-1.07\\README.TXT.EQU", "E");
  ExpectRefused("two steps from one version", "This patch cannot bring version 1.05 to version 1.08",
                "more than one step from version 1.05");

  store = complete;
  store.Remove("CRC\\1.08\\CRC.CRC");
  ExpectRefused("no list of the new version", "This patch cannot bring version 1.05 to version 1.08",
                "no checksum list of version 1.08");

  // A step that leads past the patch's version.
  store = complete;
  Sign(ManifestText("1.06", true, ""));
  store.Add("1.05-1.07\\README.TXT.EQU", "E");
  store.Remove("1.05-1.06\\README.TXT.UPD");
  std::vector<std::string> firstStep;
  store.EnumerateNames([](const char* name, void* context) {
    if (std::string(name).rfind("1.05-1.06\\", 0) == 0) static_cast<std::vector<std::string>*>(context)->push_back(name);
  }, &firstStep);
  for (const std::string& name : firstStep) store.Remove(name);
  ExpectRefused("past the version", "This patch cannot bring version 1.05 to version 1.06",
                "its step from version 1.05 leads to version 1.07");
}

TEST_F(SignedPayloadTest, SuccessIsReportedOnlyWhenTheWholeInstallationIsTheNewVersion) {
  const std::filesystem::path pristine = folder.Path() / "pristine";
  std::filesystem::copy(folder.Path() / "game", pristine, std::filesystem::copy_options::recursive);
  const MemoryEntrySource complete = store;

  // The new version's list names a file that no step writes: the run fails naming it.
  *store.Bytes("CRC\\1.08\\CRC.CRC") += "Data\\Intro.bik 12345678\n";
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
    const std::vector<std::string> lines = screen.Texts(Kind::Log);
    EXPECT_TRUE(AnyContains(lines, "File Data\\Intro.bik is missing.")) << Events(screen);
    EXPECT_TRUE(AnyContains(lines, "Error in file Data\\Intro.bik, phase 10.")) << Events(screen);
    EXPECT_FALSE(AnyContains(lines, "has been applied successfully")) << Events(screen);
    EXPECT_EQ(registry.values.count(MemoryRegistry::Key(platform::RegistryHive::LocalMachine,
                                                        "Software\\Corvanth\\Example", "Version")),
              0u)
        << "no side effect claims the version";
    EXPECT_TRUE(screen.keepOpen);
  }

  // A patch of the original format whose entry lost its name to one changed byte: the entry is no
  // longer a step's, and the file it should have written is missing at the end.
  ReplaceGame(pristine);
  store = complete;
  key = TestKey::ManifestOnly;
  signPayloadTable = false;
  options.unsignedPayload = app::UnsignedPayload::Apply;
  Sign(ManifestText("1.08", true, ""));
  const std::string editor = *store.Bytes("1.06-1.08\\TOOLS\\EDITOR.EXE.NEW");
  store.Remove("1.06-1.08\\TOOLS\\EDITOR.EXE.NEW");
  store.Add("1.06-1.0:\\TOOLS\\EDITOR.EXE.NEW", editor);
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
    EXPECT_TRUE(AnyContains(screen.Texts(Kind::Log), "File Tools\\Editor.exe is missing.")) << Events(screen);
    EXPECT_FALSE(AnyContains(screen.Texts(Kind::Log), "has been applied successfully"));
  }
}

// A delta the linked decoder declines (a secondary compressor it lacks) goes to the carried tool: by its
// full path in the working folder, quoted, and only when the payload is signed; never a program found
// through the search path on Windows.
TEST_F(SignedPayloadTest, TheCarriedDeltaToolRunsByItsFullPathAndOnlyFromASignedPayload) {
  store.Add("1.05-1.06\\DATA\\MAP.PAK.UPD", vcdifftest::Header(0x01, vcdifftest::Bytes({1})) + "declined");
  const std::filesystem::path pristine = folder.Path() / "pristine";
  std::filesystem::copy(folder.Path() / "game", pristine, std::filesystem::copy_options::recursive);
  FaultInjectingProcessLauncher launcher;
  launcher.FailStart("xdelta3", 2);
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    screen.abortRetryIgnoreAnswers = {ui::kAbort};
    EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
  }
  ASSERT_FALSE(launcher.commandLines.empty());
  const std::string& carried = launcher.commandLines.front();
  EXPECT_EQ(carried.rfind("\"", 0), 0u) << carried;
  EXPECT_NE(carried.find("ZRPatch\\xdelta3.exe\" -f -d -s \""), std::string::npos) << carried;
  for (std::size_t i = 1; i < launcher.commandLines.size(); ++i) {
    EXPECT_EQ(launcher.commandLines[i].rfind("\"/", 0), 0u) << "only a native decoder by its full path, on Linux: "
                                                             << launcher.commandLines[i];
  }
#if defined(_WIN32)
  EXPECT_EQ(launcher.commandLines.size(), 1u);
#endif

  // The same patch of the original format, allowed without its programs: the carried tool is not used.
  launcher.commandLines.clear();
  ReplaceGame(pristine);
  key = TestKey::ManifestOnly;
  signPayloadTable = false;
  options.unsignedPayload = app::UnsignedPayload::ApplyNoPrograms;
  Sign(ManifestText("1.08", true, ""));
  store.Remove(patch::kPayloadTableEntry);
  store.Remove(patch::kPayloadTableSignatureEntry);
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    screen.abortRetryIgnoreAnswers = {ui::kAbort};
    EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
  }
  for (const std::string& line : launcher.commandLines) {
    EXPECT_EQ(line.find("ZRPatch"), std::string::npos) << line;
  }
}

}  // namespace
