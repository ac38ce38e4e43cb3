// The Linux launcher's own behaviour: native programs found as Windows would find them, programs that
// cannot be executed reported as not started, the prefix handed to every child, Windows programs
// through wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/machine.h"
#include "platform/process.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kNotFound = 2;          // ENOENT
constexpr int kPermissionDenied = 13;  // EACCES

void WriteProgram(const fs::path& path, const std::string& text, bool executable) {
  std::ofstream(path, std::ios::binary) << text;
  if (executable) fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
}

platform::ProcessRun RunCommand(const std::string& commandLine, const std::string& folder = std::string()) {
  return platform::RunProcess(commandLine.c_str(), folder.c_str(), platform::kManifestCommandStart);
}

// Sets an environment variable for the lifetime of the object, then puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    hadValue_ = old != nullptr;
    if (old) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (hadValue_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool hadValue_ = false;
  std::string old_;
};

TEST(PosixProcess, NativeProgramsByPathOrOnThePath) {
  platform::ProcessRun run = RunCommand("sh -c \"exit 4\"");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 4u);

  // Arguments reach the program as Windows programs would see them.
  TempFolder folder;
  run = RunCommand("/bin/sh -c \"test \\\"$1\\\" = 'a \\\"b' && test \\\"$2\\\" = '' && exit 9\" sh \"a \\\"b\" \"\"");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 9u);

  // A signal ends a child with 128 + its number, never with success.
  run = RunCommand("/bin/sh -c \"kill -9 $$\"");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_TRUE(run.exitCodeRead);
  EXPECT_EQ(run.exitCode, 137u);
}

TEST(PosixProcess, UnquotedProgramPathWithBlanksIsFoundAsWindowsFindsIt) {
  TempFolder folder;
  fs::create_directory(folder.Path() / "my tools");
  WriteProgram(folder.Path() / "my tools" / "count args", "#!/bin/sh\nexit $#\n", true);
  const std::string program = (folder.Path() / "my tools" / "count args").string();
  platform::ProcessRun run = RunCommand(program + " one \"two words\" \"\"");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 3u);
  run = RunCommand("\"" + program + "\" one");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 1u);
}

TEST(PosixProcess, ProgramThatCannotBeExecutedDoesNotStart) {
  TempFolder folder;
  WriteProgram(folder.Path() / "not-executable", "#!/bin/sh\nexit 0\n", false);
  platform::ProcessRun run = RunCommand(folder.File("not-executable"));
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure.systemError, kPermissionDenied);

  // The file is there but its interpreter is not: the shell would say 127, the seam says "not started".
  WriteProgram(folder.Path() / "no-interpreter", "#!/nonexistent/interpreter\n", true);
  run = RunCommand(folder.File("no-interpreter"));
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure.systemError, kNotFound);
  EXPECT_FALSE(run.failure.reason.empty());
}

TEST(PosixProcess, EveryChildSeesTheSelectedPrefix) {
  TempFolder prefix;
  fs::create_directory(prefix.Path() / "drive_c");
  std::string error;
  const std::string previous = platform::PrefixDirectory();
  ASSERT_TRUE(platform::SelectPrefix(prefix.Path().string().c_str(), &error)) << error;
  ScopedVariable elsewhere("WINEPREFIX", "/elsewhere");
  platform::ProcessRun run = RunCommand("/bin/sh -c \"test \\\"$WINEPREFIX\\\" = '" + prefix.Path().string() + "'\"");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 0u);
  platform::SelectPrefix(previous.c_str(), &error);
}

TEST(PosixProcess, WindowsProgramWithoutWineIsNotStarted) {
  TempFolder emptyPath;
  ScopedVariable path("PATH", emptyPath.Path().string());
  platform::ProcessRun run = RunCommand("setup.exe /quiet");
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure.systemError, kNotFound);
  EXPECT_EQ(run.failure.reason, "wine is not installed: cannot run setup.exe");

  // A Windows program named by a path that does not exist fails before wine is looked for.
  TempFolder folder;
  run = RunCommand(folder.File("missing.exe") + " /quiet");
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure.systemError, kNotFound);
}

// A launcher's prefix runs its Windows programs with the launcher's own Wine build, which finds its
// libraries first; a prefix whose Wine cannot run has them refused, never handed to another Wine.
TEST(PosixProcess, WindowsProgramsRunWithThePrefixsOwnWine) {
  TempFolder folder;
  const fs::path prefix = folder.Path() / "pfx";
  fs::create_directories(prefix / "drive_c");
  const fs::path build = folder.Path() / "Proton 8.0" / "files";
  fs::create_directories(build / "bin");
  fs::create_directories(build / "lib64");
  fs::create_directories(build / "lib");
  std::ofstream(prefix / "system.reg") << "WINE REGISTRY Version 2\n\n#arch=win32\n";
  WriteProgram(build / "bin" / "wine",
               "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" \"$LD_LIBRARY_PATH\" > \"$WINEPREFIX/ran.txt\"\nexit 5\n", true);
  std::string error;
  const std::string previous = platform::PrefixDirectory();
  ASSERT_TRUE(platform::SelectPrefix(prefix.string().c_str(), &error)) << error;
  ScopedVariable libraries("LD_LIBRARY_PATH", "/opt/mine");
  platform::PrefixWine wine;
  wine.kind = platform::PrefixWine::Kind::Build;
  wine.folder = build.string();
  wine.name = "Proton 8.0";
  platform::SelectPrefixWine(wine);

  platform::ProcessRun run = RunCommand("setup.exe /quiet \"two words\"");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 5u);
  std::ifstream recorded(prefix / "ran.txt");
  const std::string line((std::istreambuf_iterator<char>(recorded)), std::istreambuf_iterator<char>());
  EXPECT_EQ(line, (build / "bin" / "wine").string() + "|setup.exe|/quiet|two words|" + (build / "lib64").string() + ":" +
                      (build / "lib").string() + ":/opt/mine|");
  // Native programs keep the environment as it was.
  run = RunCommand("/bin/sh -c \"test \\\"$LD_LIBRARY_PATH\\\" = /opt/mine\"");
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 0u);

  wine.folder = (folder.Path() / "removed").string();
  platform::SelectPrefixWine(wine);
  run = RunCommand("setup.exe");
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure.systemError, kNotFound);
  EXPECT_EQ(run.failure.reason, "the prefix's Wine (Proton 8.0) has no wine program in " + wine.folder + "/bin/: cannot run setup.exe");

  wine.kind = platform::PrefixWine::Kind::Unavailable;
  wine.reason = "its runner soda-7.0-9 is not installed";
  platform::SelectPrefixWine(wine);
  run = RunCommand("setup.exe");
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure.reason, "its runner soda-7.0-9 is not installed: cannot run setup.exe");

  // Choosing a prefix again goes back to the system's Wine.
  ASSERT_TRUE(platform::SelectPrefix(prefix.string().c_str(), &error)) << error;
  EXPECT_EQ(platform::SelectedPrefixWine().kind, platform::PrefixWine::Kind::System);
  platform::SelectPrefix(previous.c_str(), &error);
}

// Windows programs run through wine in the selected prefix. The prefix is the test build's own
// ($ZR_TEST_WINEPREFIX, made by wine on first use), else $WINEPREFIX, else a fresh one.
TEST(PosixProcess, WindowsProgramRunsThroughWine) {
  const char* wanted = std::getenv("ZR_TEST_WINEPREFIX");
  if (!wanted || !*wanted) wanted = std::getenv("WINEPREFIX");
  TempFolder fresh;
  const fs::path prefix = wanted && *wanted ? fs::path(wanted) : fresh.Path() / "prefix";
  fs::create_directories(prefix / "drive_c");
  std::string error;
  const std::string previous = platform::PrefixDirectory();
  ASSERT_TRUE(platform::SelectPrefix(prefix.string().c_str(), &error)) << error;
  ScopedVariable quiet("WINEDEBUG", "-all");

  platform::ProcessRun run = RunCommand("cmd /c exit 3");
  if (!run.started && run.failure.reason.find("wine is not installed") == 0) {
    platform::SelectPrefix(previous.c_str(), &error);
    GTEST_SKIP() << run.failure.reason;
  }
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_TRUE(run.exitCodeRead);
  EXPECT_EQ(run.exitCode, 3u);

  // Wine's C: is the selected prefix's drive.
  TempFolder marker;
  const std::string markerName = "zr-marker-" + marker.Path().filename().string();
  std::ofstream(prefix / "drive_c" / markerName) << "here";
  run = RunCommand("cmd /c if exist C:\\" + markerName + " exit 6");
  fs::remove(prefix / "drive_c" / markerName);
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 6u);

  TempFolder folder;
  run = RunCommand("cmd.exe /c echo made> \"marker one.txt\"", folder.Path().string());
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(fs::exists(folder.Path() / "marker one.txt"));
  platform::SelectPrefix(previous.c_str(), &error);
}

}  // namespace
