// A patch run killed after any file operation, then run again, leaves the installation exactly as one
// uninterrupted run does: every file, the uninstall log, and nothing else (no journal, no temporary
// files). Each kill point runs in a child process (a death test) that ends itself at that point.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/killingFileSystem.h"
#include "support/memoryEntrySource.h"
#include "support/stepPatch.h"
#include "support/tempFolder.h"
#include "stepRun.h"
#include "ui/messages.h"
#include "ui/scriptedInterface.h"

namespace {

using steppatch::Tree;

std::string Bytes(int seed, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((seed * 131 + i * 7 + i / 97) % 251);
  return bytes;
}

// Version 1.05 with 56 files; 1.06 changes, adds and deletes some; 1.07 again, with a file in a new
// folder, and whole files of "ALL\" (one replacing an installed file, one new).
struct Versions {
  Tree v105, v106, v107;
  MemoryEntrySource store;

  Versions() {
    for (int i = 0; i < 56; ++i) {
      v105[(i % 2 ? "Data\\File" : "Maps\\Level") + std::to_string(i) + ".pak"] = Bytes(i, 200 + 97 * i);
    }
    v106 = v105;
    for (int i = 0; i < 56; i += 3) v106["Data\\File" + std::to_string(i + 1) + ".pak"] = Bytes(i, 150 + 97 * i) + "changed";
    for (int i = 0; i < 56; i += 7) v106.erase("Maps\\Level" + std::to_string(i) + ".pak");
    v106["Data\\Added106.pak"] = Bytes(300, 5000);
    v107 = v106;
    for (int i = 1; i < 56; i += 5) {
      const std::string name = (i % 2 ? "Data\\File" : "Maps\\Level") + std::to_string(i) + ".pak";
      if (v107.count(name)) v107[name] = "again " + v107[name];
    }
    v107.erase("Data\\Added106.pak");
    v107["Sounds\\Voice\\Intro.wav"] = Bytes(400, 7000);
    steppatch::AddStep(store, 1, 5, 6, v105, v106);
    steppatch::AddStep(store, 1, 6, 7, v106, v107);
    store.Add("ALL\\DATA\\FILE3.PAK", "whole file replacing an installed one");
    store.Add("ALL\\README.TXT", "a new whole file");
    // The list of 1.07 describes the installation with the whole files in place.
    Tree complete = v107;
    complete["Data\\File3.pak"] = "whole file replacing an installed one";
    complete["README.TXT"] = "a new whole file";
    store.Add("CRC\\1.07\\CRC.CRC", steppatch::ChecksumList(complete));
  }
};

class Interruption : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::SetMessageLanguage(1033);
    destination = folder.Path().string() + "/";
  }
  void TearDown() override { ui::SetMessageLanguage(0); }

  void Reset() {
    std::filesystem::remove_all(folder.Path());
    std::filesystem::create_directories(folder.Path());
    ASSERT_TRUE(steppatch::WriteTree(folder.Path(), versions.v105));
  }

  // Runs the patch; killAt > 0 ends the process at that operation. Returns the operations counted.
  int Run(int killAt, bool* completed, std::string* failedFile = nullptr) {
    ui::ScriptedInterface quiet;
    KillingFileSystem files;
    files.killAt = killAt;
    const steppatch::RunResult result = steppatch::RunUpdate(versions.store, destination, 5, 7);
    *completed = result.wholeFilesCopied;
    if (failedFile) *failedFile = result.failedFile;
    return files.mutations;
  }

  TempFolder folder;
  std::string destination;
  Versions versions;
};

TEST_F(Interruption, RerunAfterAKillAtAnyOperationEndsAsACleanRun) {
  Reset();
  bool completed = false;
  std::string failedFile;
  const int operations = Run(0, &completed, &failedFile);
  ASSERT_TRUE(completed) << failedFile;
  const Tree clean = steppatch::ReadTree(folder.Path());
  ASSERT_EQ(clean.count("Sounds\\Voice\\Intro.wav"), 0u) << "a new file gets a lower-case name";
  ASSERT_EQ(clean.at("SOUNDS\\VOICE\\intro.wav"), steppatch::Digest(versions.v107.at("Sounds\\Voice\\Intro.wav")));
  std::string logText;
  {
    std::ifstream log(folder.Path() / "uninstall.log", std::ios::binary);
    logText.assign(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
  }
  ASSERT_NE(logText.find("F:" + steppatch::Lower(destination) + "readme.txt\r\n"), std::string::npos) << logText;
  ASSERT_GT(operations, 300);

  // On Windows each death test starts the program again, and under an emulator (the 32-bit Linux
  // build under qemu-i386) each is slow: a sample of the points there.
  int stride = 1;
#if defined(_WIN32) || defined(ZR_TEST_EMULATED)
  stride = operations / 40 + 1;
#endif
  int covered = 0;
  for (int killAt = 1; killAt <= operations; killAt += stride) {
    Reset();
    EXPECT_EXIT(Run(killAt, &completed), ::testing::ExitedWithCode(KillingFileSystem::kKilledExitCode), "")
        << "kill point " << killAt;
    Run(0, &completed, &failedFile);
    ASSERT_TRUE(completed) << "rerun after a kill at operation " << killAt << ": stopped at " << failedFile;
    const Tree rerun = steppatch::ReadTree(folder.Path());
    ASSERT_EQ(rerun, clean) << "after a kill at operation " << killAt << " of " << operations;
    ++covered;
  }
  std::printf("kill points covered: %d of %d file operations\n", covered, operations);
}

}  // namespace
