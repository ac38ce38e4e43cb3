// Building from a recipe as a careless publisher would: a changed file that keeps its size and time
// gets a new delta; a manifest that disagrees with the recipe, or does not compile, is refused before
// any delta is made; a build that fails or is killed at any file operation leaves no patch behind (and
// an earlier one as it was), and the build run again makes the patch a clean build makes.

#include "make/recipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>

#include "make/deltaInputs.h"
#include "make/stepDiff.h"
#include "makeTestSupport.h"
#include "patch/moduleEntrySource.h"
#include "platform/signing.h"
#include "standInEncoder.h"
#include "support/memoryEntrySource.h"
#include "support/killingFileSystem.h"
#include "support/tempFolder.h"
#include "vcdiff/decodeInMemory.h"

namespace {

using maketest::Joined;
using maketest::Mentions;
using maketest::Read;
using maketest::Write;

std::string Manifest(const std::string& version, const std::string& distributions) {
  return "configApp = \"Software\\Corvanth\\Game\";\ndisplayName = \"Corvanth\";\nversion = \"" + version +
         "\";\nappName[] = {\"game.exe\"};\nisPatch = 1;\nrequiredForPatch = \"1.05\";\nclass Distributions\n{\n" +
         distributions + "};\n";
}

const char* kBothDistributions =
    "  class ENGLISH { scope = 1; name = \"English\"; parent = \"\"; };\n"
    "  class GERMAN { scope = 1; name = \"Deutsch\"; parent = \"\"; };\n";

// Files below the folder with the given ending (".upd" deltas, ".part" leftovers).
int CountFiles(const std::filesystem::path& folder, const std::string& ending) {
  int count = 0;
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) return 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) ++count;
  }
  return count;
}

// Every entry of a patch by name, as the patch program reads them.
std::map<std::string, std::string> Entries(const std::string& patch) {
  std::map<std::string, std::string> entries;
  std::string error;
  std::unique_ptr<patch::ModuleEntrySource> store = patch::ModuleEntrySource::Open(patch.c_str(), &error);
  if (!store) return entries;
  std::vector<std::string> names;
  store->EnumerateNames([](const char* name, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(name);
  }, &names);
  for (const std::string& name : names) {
    std::string bytes;
    if (EntryBytesOf(*store, name.c_str(), &bytes)) entries[name] = bytes;
  }
  return entries;
}

class BuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto root = folder_.Path();
    for (const char* language : {"en", "de"}) {
      for (const char* version : {"1.05", "1.06"}) {
        const auto tree = root / "game" / version / language;
        Write(tree / "game.exe", std::string("MZ game ") + version);
        Write(tree / "Data" / "Same.pak", "unchanged");
        Write(tree / "Data" / "Local.pak", std::string("speech of ") + language + " " + version);
      }
      Write(root / "game" / "1.05" / language / "Data" / "Map.pak", maketest::Noise(5000, 1));
      Write(root / "game" / "1.06" / language / "Data" / "Map.pak", maketest::Noise(4000, 1) + maketest::Noise(1000, 2));
      Write(root / "game" / "1.06" / language / "Data" / "New.pak", "new in 1.06");
    }
    Write(root / "manifest.cpp", Manifest("1.06", kBothDistributions));
    Write(root / "tool.exe", "MZ stand-in for the delta tool");
    Write(root / "recipe.cpp",
          "manifest = \"manifest.cpp\";\nkey = \"key.pem\";\npatchProgram = \"" + std::string(ZR_MAKE_STUB) +
              "\";\ndeltaTool = \"tool.exe\";\nclass Versions\n{\n"
              "  class v105 { version = \"1.05\"; class Trees { ENGLISH = \"game/1.05/en\"; GERMAN = \"game/1.05/de\"; }; };\n"
              "  class v106 { version = \"1.06\"; class Trees { ENGLISH = \"game/1.06/en\"; GERMAN = \"game/1.06/de\"; }; };\n"
              "};\n");
    std::string pem;
    platform::KeyBlob blob;
    canSign_ = platform::GenerateSigningKey(2048, &pem, &blob) == platform::SigningResult::Ok;
    Write(root / "key.pem", canSign_ ? pem : "no key in this build");
    options_.recipe = folder_.File("recipe.cpp");
    options_.output = folder_.File("patch.exe");
    options_.encoder = StandInEncoder::kProgram;
    options_.jobs = 1;
  }

  std::filesystem::path Payload() const { return folder_.Path() / "patch.exe.payload"; }

  TempFolder folder_;
  make::BuildOptions options_;
  bool canSign_ = false;
};

TEST_F(BuildTest, ChangedFileWithTheSameSizeAndTimeGetsANewDelta) {
  const auto oldMap = folder_.Path() / "game" / "1.05" / "en" / "Data" / "Map.pak";
  const auto newMap = folder_.Path() / "game" / "1.06" / "en" / "Data" / "Map.pak";
  make::DiffOptions diff;
  diff.oldTree = folder_.File("game/1.05/en");
  diff.newTree = folder_.File("game/1.06/en");
  diff.fromVersion = "1.05";
  diff.toVersion = "1.06";
  diff.payload = Payload().string();
  diff.encoder = StandInEncoder::kProgram;
  diff.jobs = 1;
  StandInEncoder encoder;
  make::DiffReport report;
  ASSERT_TRUE(make::DiffTrees(diff, &report)) << Joined(report.problems);
  ASSERT_EQ(report.deltas, 3);  // game.exe, Data\Local.pak, Data\Map.pak
  ASSERT_EQ(encoder.encoded.size(), 3u);

  // The same size and time, other bytes: only this delta is made again, and it rebuilds the new file.
  const auto time = std::filesystem::last_write_time(newMap);
  std::string changed = Read(newMap);
  std::reverse(changed.begin() + 4000, changed.end());
  Write(newMap, changed);
  std::filesystem::last_write_time(newMap, time);
  ASSERT_TRUE(make::DiffTrees(diff, &report)) << Joined(report.problems);
  EXPECT_EQ(report.upToDate, 2);
  ASSERT_EQ(encoder.encoded.size(), 4u);
  EXPECT_NE(encoder.encoded[3].find("Map.pak"), std::string::npos);
  const vcdifftest::Decoded decoded =
      vcdifftest::DecodeInMemory(Read(Payload() / "1.05-1.06" / "Data" / "Map.pak.upd"), Read(oldMap));
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.target, changed);

  // The record sits beside the payload folder, never in it; without it, or damaged, nothing is reused.
  EXPECT_EQ(CountFiles(Payload(), ".inputs"), 0);
  const std::string record = Payload().string() + ".inputs";
  ASSERT_TRUE(std::filesystem::exists(record));
  std::filesystem::remove(record);
  ASSERT_TRUE(make::DiffTrees(diff, &report)) << Joined(report.problems);
  EXPECT_EQ(report.upToDate, 0);
  Write(record, "zrmake delta inputs 1\nnot a line\n");
  ASSERT_TRUE(make::DiffTrees(diff, &report)) << Joined(report.problems);
  EXPECT_EQ(report.upToDate, 0);
  EXPECT_EQ(encoder.encoded.size(), 10u);
  // A delta replaced by other bytes of its size, its time kept: made again.
  const auto gameDelta = Payload() / "1.05-1.06" / "game.exe.upd";
  const auto deltaTime = std::filesystem::last_write_time(gameDelta);
  std::string damaged = Read(gameDelta);
  damaged.back() = static_cast<char>(damaged.back() ^ 0x20);
  Write(gameDelta, damaged);
  std::filesystem::last_write_time(gameDelta, deltaTime);
  ASSERT_TRUE(make::DiffTrees(diff, &report)) << Joined(report.problems);
  EXPECT_EQ(report.upToDate, 2);
  EXPECT_NE(Read(gameDelta), damaged);
}

TEST_F(BuildTest, DisagreeingOrBrokenManifestIsRefusedBeforeAnyDelta) {
  Write(options_.output, "an earlier patch");
  // Refused, in seconds, with no encoding started, no delta written and the earlier patch kept.
  const auto expectRefused = [&](const std::string& problem) {
    StandInEncoder encoder;
    make::BuildReport report;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(make::BuildPatch(options_, &report));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(Mentions(report.problems, problem)) << Joined(report.problems);
    EXPECT_TRUE(encoder.encoded.empty()) << problem;
    EXPECT_EQ(CountFiles(Payload(), ".upd"), 0) << problem;
    EXPECT_EQ(Read(options_.output), "an earlier patch");
  };
  Write(folder_.Path() / "manifest.cpp", Manifest("1.08", kBothDistributions));
  expectRefused("manifest.cpp: version = \"1.08\", but the last version of ");
  Write(folder_.Path() / "manifest.cpp",
        Manifest("1.06", "  class ENGLISH { scope = 1; name = \"English\"; parent = \"\"; };\n"));
  expectRefused("recipe.cpp: distribution GERMAN (");
  Write(folder_.Path() / "manifest.cpp", Manifest("1.06", kBothDistributions) + "class Broken : Missing {};\n");
  expectRefused("manifest.cpp, line 12");

  // A key too small for the payload table every build signs.
  Write(folder_.Path() / "manifest.cpp", Manifest("1.06", kBothDistributions));
  std::string pem;
  platform::KeyBlob small;
  if (platform::GenerateSigningKey(1024, &pem, &small) == platform::SigningResult::Ok) {
    const std::string key = Read(folder_.Path() / "key.pem");
    Write(folder_.Path() / "key.pem", pem);
    expectRefused("key.pem: a key of 1024 bits cannot sign the payload table");
    Write(folder_.Path() / "key.pem", key);
  }

  // A tree the patch could not reproduce is named with the file.
  Write(folder_.Path() / "game" / "1.06" / "de" / "Data" / "LOCAL.PAK", "a second spelling");
  std::size_t spellings = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path() / "game" / "1.06" / "de" / "Data")) {
    spellings += entry.path().filename().string() == "LOCAL.PAK" || entry.path().filename().string() == "Local.pak";
  }
  if (spellings == 2) {  // a file system that tells the two names apart
    expectRefused("game/1.06/de: Data\\Local.pak: differs from Data\\LOCAL.PAK only in case");
  }
}

TEST_F(BuildTest, FailedBuildLeavesAnEarlierPatchAsItWas) {
  if (!canSign_) GTEST_SKIP() << "no publisher functions in this build";
  // An encoder that writes something that is no delta: the pack takes it, the inspection does not.
  Write(options_.output, "an earlier patch");
  StandInEncoder encoder;
  encoder.broken = true;
  make::BuildReport report;
  EXPECT_FALSE(make::BuildPatch(options_, &report));
  EXPECT_TRUE(Mentions(report.problems, "1.05-1.06\\DATA\\MAP.PAK.UPD: not a VCDIFF delta")) << Joined(report.problems);
  EXPECT_EQ(Read(options_.output), "an earlier patch");
  EXPECT_FALSE(std::filesystem::exists(options_.output + ".building"));
  EXPECT_EQ(CountFiles(folder_.Path(), ".part"), 0);
}

TEST_F(BuildTest, BuildKilledAtAnyFileOperationLeavesNoPatchAndTheRerunMakesACleanBuildsPatch) {
  if (!canSign_) GTEST_SKIP() << "no publisher functions in this build";
  StandInEncoder encoder;
  const auto reset = [&] {
    std::filesystem::remove_all(Payload());
    std::filesystem::remove(Payload().string() + ".inputs");
    std::filesystem::remove(options_.output);
  };
  int operations = 0;
  {
    KillingFileSystem counting;
    make::BuildReport report;
    ASSERT_TRUE(make::BuildPatch(options_, &report)) << Joined(report.problems);
    operations = counting.mutations;
  }
  const std::map<std::string, std::string> clean = Entries(options_.output);
  ASSERT_GT(clean.size(), 10u);
  ASSERT_TRUE(clean.count("1.05-1.06\\DATA\\LOCAL.PAK.UPD.#GERMAN"));
  ASSERT_GT(operations, 40);

  for (int killAt = 1; killAt <= operations; ++killAt) {
    reset();
    // Every other run starts with an earlier patch at the output, which a killed build must not touch.
    const bool earlier = killAt % 2 == 0;
    if (earlier) Write(options_.output, "an earlier patch");
    EXPECT_EXIT(
        {
          KillingFileSystem killing;
          killing.killAt = killAt;
          make::BuildReport report;
          make::BuildPatch(options_, &report);
          std::exit(0);
        },
        ::testing::ExitedWithCode(KillingFileSystem::kKilledExitCode), "")
        << "kill point " << killAt;
    if (earlier) {
      ASSERT_EQ(Read(options_.output), "an earlier patch") << "kill point " << killAt;
    } else {
      ASSERT_FALSE(std::filesystem::exists(options_.output)) << "kill point " << killAt;
    }
    make::BuildReport report;
    ASSERT_TRUE(make::BuildPatch(options_, &report)) << "after a kill at " << killAt << ":\n" << Joined(report.problems);
    ASSERT_EQ(Entries(options_.output), clean) << "after a kill at operation " << killAt << " of " << operations;
    ASSERT_FALSE(std::filesystem::exists(options_.output + ".building"));
    ASSERT_EQ(CountFiles(folder_.Path(), ".part"), 0) << "after a kill at " << killAt;
  }
  std::printf("kill points covered: %d file operations\n", operations);
}

// A recipe in a folder of its own names everything with "../": read with its own path, absolute or
// relative, and from the current folder it lies in (where every one of its paths climbs out of the
// current folder), it builds the patch the recipe beside the trees builds.
TEST_F(BuildTest, RecipeInASubfolderFindsPathsThatClimbOutOfIt) {
  const auto root = folder_.Path();
  std::filesystem::copy_file(ZR_MAKE_STUB, root / "stub.exe");
  Write(root / "recipes" / "game" / "recipe.cpp",
        "manifest = \"../../manifest.cpp\";\nkey = \"./../../key.pem\";\npatchProgram = \"../../stub.exe\";\n"
        "deltaTool = \"../sub/../../tool.exe\";\npayload = \"../../built.payload\";\nclass Versions\n{\n"
        "  class v105 { version = \"1.05\"; class Trees { ENGLISH = \"../../game/1.05/en\"; GERMAN = \"../..//game/1.05/de/\"; }; };\n"
        "  class v106 { version = \"1.06\"; class Trees { ENGLISH = \"..\\\\..\\\\game\\\\1.06\\\\en\"; GERMAN = \"../../game/./1.06/de\"; }; };\n"
        "};\n");
  make::Recipe recipe;
  std::vector<std::string> problems;
  ASSERT_TRUE(make::ReadRecipe(folder_.File("recipes/game/recipe.cpp"), &recipe, &problems)) << Joined(problems);
  const auto same = [](const std::string& a, const std::string& b) {
    return std::filesystem::path(a).lexically_normal() == std::filesystem::path(b).lexically_normal();
  };
  EXPECT_TRUE(same(recipe.payload, folder_.File("built.payload"))) << recipe.payload;
  EXPECT_TRUE(same(recipe.versions[1].trees[0].second, folder_.File("game/1.06/en")))
      << recipe.versions[1].trees[0].second;

  std::string current;
  ASSERT_TRUE(platform::CurrentFileSystem()->CurrentFolder(&current));
  // From the recipe's own folder, a path that climbs out of it is made absolute from there.
  ASSERT_TRUE(platform::CurrentFileSystem()->SetCurrentFolder(folder_.File("recipes/game").c_str()));
  const bool read = make::ReadRecipe("recipe.cpp", &recipe, &problems);
  platform::CurrentFileSystem()->SetCurrentFolder(current.c_str());
  ASSERT_TRUE(read) << Joined(problems);
  EXPECT_TRUE(same(recipe.manifest, folder_.File("manifest.cpp"))) << recipe.manifest;
  // Each path names what is there, through the file system the build reads with.
  bool isFolder = false;
  for (const std::string& file : {recipe.manifest, recipe.key, recipe.patchProgram, recipe.deltaTool}) {
    EXPECT_TRUE(platform::CurrentFileSystem()->Exists(file.c_str(), &isFolder) && !isFolder) << file;
  }
  for (const make::RecipeVersion& version : recipe.versions) {
    for (const auto& [tag, tree] : version.trees) {
      EXPECT_TRUE(platform::CurrentFileSystem()->Exists(tree.c_str(), &isFolder) && isFolder) << tag << " " << tree;
    }
  }

  if (!canSign_) GTEST_SKIP() << "no publisher functions in this build";
  StandInEncoder encoder;
  make::BuildReport report;
  ASSERT_TRUE(make::BuildPatch(options_, &report)) << Joined(report.problems);
  const std::map<std::string, std::string> expected = Entries(options_.output);
  ASSERT_GT(expected.size(), 5u);

  for (const std::string& recipePath : {folder_.File("recipes/game/recipe.cpp"), std::string("recipe.cpp")}) {
    SCOPED_TRACE(recipePath);
    if (recipePath == "recipe.cpp") {
      ASSERT_TRUE(platform::CurrentFileSystem()->SetCurrentFolder(folder_.File("recipes/game").c_str()));
    }
    make::BuildOptions options = options_;
    options.recipe = recipePath;
    options.output = folder_.File("other.exe");
    make::BuildReport other;
    const bool built = make::BuildPatch(options, &other);
    platform::CurrentFileSystem()->SetCurrentFolder(current.c_str());
    ASSERT_TRUE(built) << Joined(other.problems);
    EXPECT_EQ(Entries(options.output), expected);
    EXPECT_TRUE(std::filesystem::is_directory(root / "built.payload" / "1.05-1.06"));
    std::filesystem::remove(options.output);
  }
}

}  // namespace
