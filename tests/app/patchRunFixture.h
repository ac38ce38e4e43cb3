#pragma once
// The whole patch run over a game laid out in a temporary folder: a signed manifest and payload table,
// version steps made in memory, the registry held in memory, the user's answers scripted. Shared by the
// patch run's tests.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "El/QStream/crc32.h"
#include "app/patchRun.h"
#include "platform/fileSystem.h"
#include "platform/machine.h"
#include "support/compiledConfig.h"
#include "support/gameExecutable.h"
#include "support/memoryRegistry.h"
#include "support/signedPatch.h"
#include "support/stepPatch.h"
#include "support/tempFolder.h"
#include "support/testSigning.h"
#include "support/textLines.h"
#include "ui/scriptedInterface.h"

namespace patchruntest {

using steppatch::Tree;
using Kind = ui::ScriptedInterface::EventKind;

// An executable whose version resource says `version`, as the game's.

inline std::string Filler(int seed, std::size_t size) {
  std::string text(size, '\0');
  std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
  for (char& c : text) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return text;
}

struct Versions {
  Tree v105, v106, v108;
  Versions() {
    v105 = {{"game.exe", GameExecutable("1.05")},
            {"Data\\Map.pak", Filler(1, 20000)},
            {"Data\\Sound.wav", Filler(2, 3000)},
            {"readme.txt", "Version 1.05\r\n"}};
    v106 = v105;
    v106["game.exe"] = GameExecutable("1.06");
    v106["Data\\Map.pak"] = Filler(1, 12000) + Filler(3, 9000);
    v106["Data\\New.pak"] = Filler(4, 5000);
    v106["readme.txt"] = "Version 1.06\r\n";
    v108 = v106;
    v108["game.exe"] = GameExecutable("1.08");
    v108["Data\\Map.pak"] = Filler(1, 12000) + Filler(5, 9500);
    v108.erase("Data\\Sound.wav");
    v108["Tools\\Editor.exe"] = "editor";
    v108["readme.txt"] = "Version 1.08\r\n";
  }
};

inline const std::string kGermanText = "Sprache: Deutsch\r\n";
inline const std::string kEnglishText = "Language: English\r\n";

inline std::string Signed(int value) { return std::to_string(value); }

// The manifest of the example patch; `extra` is added at the top level.
inline std::string ManifestText(const std::string& version, bool isPatch, const std::string& extra) {
  const auto crc = [](const std::string& text) {
    return Signed(static_cast<std::int32_t>(Crc32Of(text.data(), text.size())));
  };
  return "configApp=\"Software\\Corvanth\\Example\";\n"
         "displayName=\"Example Game\";\n"
         "version=\"" + version + "\";\n"
         "appName[]={\"bin\\game.exe\",\"game.exe\"};\n"
         "isPatch=" + (isPatch ? "1" : "0") + ";\n" + extra +
         "class Distributions {\n"
         "  class ENGLISH { scope=1; name=\"English edition\"; parent=\"\"; };\n"
         "  class GERMAN { scope=1; name=\"Deutsche Ausgabe\"; parent=\"\"; };\n"
         "};\n"
         "class WhatDistribution {\n"
         "  class German { file=\"text.txt\"; crc=" + crc(kGermanText) + "; distributions[]={\"GERMAN\"}; };\n"
         "  class English { file=\"text.txt\"; crc=" + crc(kEnglishText) + "; distributions[]={\"ENGLISH\"}; };\n"
         "};\n"
         "class UpdateRegistry {\n"
         "  class Version { registryUser=0; registryPath=\"Software\\Corvanth\\Example\"; registryName=\"Version\";"
         " registryValue=\"" + version + "\"; };\n"
         "  class Language { registryUser=1; registryPath=\"Software\\Corvanth\\Example\"; registryName=\"Language\";"
         " registryValue=\"Deutsch\"; distributions[]={\"GERMAN\"}; };\n"
         "  class Never { registryUser=1; registryPath=\"Software\\Corvanth\\Example\"; registryName=\"Never\";"
         " registryValue=\"x\"; distributions[]={}; };\n"
         "};\n"
         "class Shortcuts {\n"
         "  class Editor { source=\"Editor\"; destination=\"Tools\\Editor.exe\"; arguments=\"-map\";"
         " workingDirectory=\"Tools\\Editor.exe\"; startMenuGroup=\"\"; description=\"Map editor\";"
         " excludeDistributions[]={\"ENGLISH\"}; };\n"
         "};\n";
}

// Everything the run showed, for failure messages.
inline std::string Events(const ui::ScriptedInterface& screen) {
  std::string text;
  for (const auto& event : screen.events) text += "\n  " + event.text;
  return text;
}

class PatchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The run makes the folders it writes in current; the test's own paths must not depend on it.
    platform::CurrentFileSystem()->CurrentFolder(&currentFolder);
#if !defined(_WIN32)
    // The temporary working folder and the start menu live in a prefix.
    std::filesystem::create_directories(folder.Path() / "prefix" / "drive_c");
    std::string error;
    previousPrefix = platform::PrefixDirectory();
    ASSERT_TRUE(platform::SelectPrefix((folder.Path() / "prefix").string().c_str(), &error)) << error;
#endif
    std::filesystem::create_directories(folder.Path() / "game");
    install = (folder.Path() / "game").string() + "\\";
    registry.values[MemoryRegistry::Key(platform::RegistryHive::LocalMachine, "Software\\Corvanth\\Example", "MAIN")] =
        (folder.Path() / "game").string();
    ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", versions.v105));
    ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"text.txt", kGermanText}}));
    steppatch::AddStep(store, 1, 5, 6, versions.v105, versions.v106);
    steppatch::AddStep(store, 1, 6, 8, versions.v106, versions.v108);
    store.Add("ALL\\DOCS\\MANUAL.TXT", "manual");
    Sign(ManifestText("1.08", true, ""));
  }
  void TearDown() override {
    platform::CurrentFileSystem()->SetCurrentFolder(currentFolder.c_str());
#if !defined(_WIN32)
    std::string error;
    if (!previousPrefix.empty()) platform::SelectPrefix(previousPrefix.c_str(), &error);
#endif
  }

  // The manifest compiled and signed with the test key.
  void Sign(const std::string& text) {
    manifest = CompileConfigText(text);
    std::string signature;
    ASSERT_TRUE(SignWithTestKey(key, platform::SignedDigest::Sha1, manifest, &signature));
    store.Add("VERSION.CFG", manifest);
    store.Add("VERSION.CFG.SIGN", signature);
  }

  // The payload table made anew over everything the store holds, as the pack step would, and signed.
  void SignPayloadTable() {
    std::string signature;
    store.Remove(patch::kPayloadTableEntry);
    store.Remove(patch::kPayloadTableSignatureEntry);
    const std::string table = signedpatch::TableOf(store);
    ASSERT_TRUE(SignWithTestKey(key, platform::SignedDigest::Sha256, table, &signature));
    store.Add(patch::kPayloadTableEntry, table);
    store.Add(patch::kPayloadTableSignatureEntry, signature);
  }

  // Runs the patch; unless `signPayloadTable` is cleared, with a table made over the store as it is.
  int Run() {
    if (signPayloadTable) SignPayloadTable();
    options.store = &store;
    options.trustedKey = TestPublicKey(key);
    return app::PatchRun(options);
  }

  // Every file below the test's folder (the game and the prefix): what a refused run must leave alone.
  Tree Everything() const { return steppatch::ReadTree(folder.Path()); }

  // The game folder replaced by a copy of `source`. The run leaves the current folder inside the game,
  // which Windows would not let go; under Wine a saved link starts a helper process there for a moment.
  void ReplaceGame(const std::filesystem::path& source) {
    platform::CurrentFileSystem()->SetCurrentFolder(currentFolder.c_str());
    std::error_code error;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::remove_all(folder.Path() / "game", error);
      if (!std::filesystem::exists(folder.Path() / "game")) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::filesystem::copy(source, folder.Path() / "game", std::filesystem::copy_options::recursive);
  }

  Tree Installed() const { return steppatch::ReadTree(folder.Path() / "game"); }

  std::string Log() const {
    std::ifstream in(folder.Path() / "game" / "uninstall.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TempFolder folder;
  std::string previousPrefix;
  std::string currentFolder;
  std::string install;
  Versions versions;
  MemoryEntrySource store;
  MemoryRegistry registry;
  std::string manifest;
  app::PatchRunOptions options;
  TestKey key = TestKey::Development;
  bool signPayloadTable = true;
};

// The tree with a link's bytes left out: the system's link object records the target's times.
inline Tree LinkPresent(Tree tree) {
  if (tree.count("Editor.lnk")) tree["Editor.lnk"] = "a link";
  return tree;
}

}  // namespace patchruntest
