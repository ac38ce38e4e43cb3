// Every byte of a small patch executable's payload region (its resource section: the directory, the
// names, the entries and the padding between them) changed in turn: the patch run either refuses the
// patch before the start question with nothing written, or, where the byte is one nothing reads,
// applies it correctly; the publisher's inspection reports every change the run refused. Linux sweeps
// every byte; under Wine, where each run goes through the system's resource loader, every seventh (all
// of them with ZR_EXHAUSTIVE=1).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/patchRun.h"
#include "make/patchInspector.h"
#include "makeTestSupport.h"
#include "pe/peImage.h"
#include "pe/resourceWriter.h"
#include "platform/machine.h"
#include "support/compiledConfig.h"
#include "support/gameExecutable.h"
#include "support/memoryRegistry.h"
#include "support/signedPatch.h"
#include "support/stepPatch.h"
#include "support/tempFolder.h"
#include "ui/scriptedInterface.h"

namespace {

using steppatch::Tree;
using Kind = ui::ScriptedInterface::EventKind;


// The patch program with the store's entries as RCDATA resources, written by the portable writer.
std::string PatchExecutable(MemoryEntrySource& store) {
  const std::string stub = maketest::Read(ZR_MAKE_STUB);
  std::vector<std::string> names;
  store.EnumerateNames([](const char* name, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(name); },
                       &names);
  std::vector<std::unique_ptr<pe::MemorySource>> sources;
  std::vector<pe::NewResource> resources;
  for (const std::string& name : names) {
    const std::string& bytes = *store.Bytes(name);
    sources.push_back(std::make_unique<pe::MemorySource>(
        pe::ByteView{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
    pe::NewResource resource;
    resource.type = pe::ResourceId::Number(pe::kRcDataType);
    EXPECT_TRUE(pe::ParseResourceName(name.c_str(), &resource.name)) << name;
    resource.source = sources.back().get();
    resources.push_back(resource);
  }
  pe::MemorySink sink;
  pe::WriteReport report;
  std::string error;
  EXPECT_TRUE(pe::WriteResources(pe::ByteView{reinterpret_cast<const std::uint8_t*>(stub.data()), stub.size()},
                                 resources, &sink, &report, &error))
      << error;
  return std::string(sink.Bytes().begin(), sink.Bytes().end());
}

class PayloadSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::CurrentFileSystem()->CurrentFolder(&currentFolder);
#if !defined(_WIN32)
    std::filesystem::create_directories(folder.Path() / "prefix" / "drive_c");
    std::string error;
    previousPrefix = platform::PrefixDirectory();
    ASSERT_TRUE(platform::SelectPrefix((folder.Path() / "prefix").string().c_str(), &error)) << error;
#endif
    before = {{"game.exe", GameExecutable("1.05")}, {"readme.txt", "Version 1.05\r\n"}, {"Data\\Old.pak", "old"}};
    after = {{"game.exe", GameExecutable("1.06")}, {"readme.txt", "Version 1.06\r\n"}, {"Data\\New.pak", "new"}};
    registry.values[MemoryRegistry::Key(platform::RegistryHive::LocalMachine, "Software\\Corvanth\\Sweep", "MAIN")] =
        (folder.Path() / "game").string();
    steppatch::AddStep(store, 1, 5, 6, before, after);
    store.Add("ALL\\DOCS\\NOTE.TXT", "note");
    store.Add("XDELTA3.EXE", "MZ tool");
    ASSERT_TRUE(signedpatch::SignPatch(store, CompileConfigText("configApp=\"Software\\Corvanth\\Sweep\";\n"
                                                                "displayName=\"Sweep\";\nversion=\"1.06\";\n"
                                                                "appName=\"game.exe\";\nisPatch=1;\n")));
    expected = after;
    expected["docs\\note.txt"] = "note";
    expected.erase("Data\\New.pak");
    expected["Data\\new.pak"] = "new";  // new files get lower-case names, in the folder that is there
  }
  void TearDown() override {
    platform::CurrentFileSystem()->SetCurrentFolder(currentFolder.c_str());
#if !defined(_WIN32)
    std::string error;
    if (!previousPrefix.empty()) platform::SelectPrefix(previousPrefix.c_str(), &error);
#endif
  }

  void ResetGame() {
    platform::CurrentFileSystem()->SetCurrentFolder(currentFolder.c_str());
    std::error_code error;
    std::filesystem::remove_all(folder.Path() / "game", error);
    ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", before));
  }

  // The installation folder without the uninstall log the run leaves.
  Tree Installed() const {
    Tree tree = steppatch::ReadTree(folder.Path() / "game");
    tree.erase("uninstall.log");
    return tree;
  }

  TempFolder folder;    // the game and the prefix
  TempFolder patches;   // the patch executables
  std::string currentFolder, previousPrefix;
  Tree before, after, expected;
  MemoryEntrySource store;
  MemoryRegistry registry;
};

TEST_F(PayloadSweep, EveryChangedByteIsRefusedBeforeAnyChangeOrIsOneNothingReads) {
  const std::string genuine = PatchExecutable(store);
  pe::Image image;
  std::string error;
  ASSERT_TRUE(image.Parse(pe::ByteView{reinterpret_cast<const std::uint8_t*>(genuine.data()), genuine.size()}, &error))
      << error;
  const pe::Section* resources = image.SectionAt(image.Directory(pe::kResourceDirectory).address);
  ASSERT_NE(resources, nullptr);
  const std::size_t start = resources->rawOffset, end = start + resources->rawSize;
  ASSERT_LE(end, genuine.size());

  app::PatchRunOptions options;
  options.trustedKey = TestPublicKey(TestKey::Development);
  options.storePath = patches.File("patch.exe");
  const auto run = [&](const std::string& bytes, ui::ScriptedInterface* screen) {
    maketest::Write(options.storePath, bytes);
    screen->yesNoAnswers = {true};
    screen->abortRetryIgnoreAnswers = {ui::kAbort, ui::kAbort, ui::kAbort};
    return app::PatchRun(options);
  };
  {
    ResetGame();
    ui::ScriptedInterface screen;
    ASSERT_EQ(run(genuine, &screen), app::kPatchDone);
    ASSERT_EQ(Installed(), steppatch::Digested(expected));
  }

#if defined(_WIN32)
  const std::size_t stride = std::getenv("ZR_EXHAUSTIVE") ? 1 : 7;
#else
  const std::size_t stride = 1;
#endif
  int refused = 0, unread = 0;
  for (std::size_t at = start; at < end; at += stride) {
    std::string changed = genuine;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    ui::ScriptedInterface screen;
    ResetGame();
    const Tree untouched = steppatch::ReadTree(folder.Path());
    const int result = run(changed, &screen);
    if (result == app::kPatchDone) {
      ++unread;
      ASSERT_EQ(Installed(), steppatch::Digested(expected)) << "byte " << at << " changed the result";
      continue;
    }
    ++refused;
    ASSERT_EQ(result, app::kPatchFailed) << "byte " << at;
    ASSERT_TRUE(screen.Texts(Kind::YesNo).empty()) << "byte " << at << " was asked to start";
    ASSERT_EQ(steppatch::ReadTree(folder.Path()), untouched) << "byte " << at << " changed the installation";
    make::InspectReport report;
    ASSERT_FALSE(make::InspectPatch(options.storePath, "", &report)) << "byte " << at << " is not reported";
    ASSERT_FALSE(report.problems.empty());
  }
  // The sweep went through entries and directory alike: most bytes are read, some are padding.
  EXPECT_GT(refused, 0);
  std::printf("payload region %zu bytes (every %zu): %d refused, %d not read\n", end - start, stride, refused, unread);
}

}  // namespace
