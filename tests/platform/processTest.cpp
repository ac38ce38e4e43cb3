// Child processes through the seam, as the patch program starts them: real children of each target,
// and the fault-injecting launcher that stands in for them.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/childCommands.h"
#include "support/faultInjectingProcessLauncher.h"
#include "support/tempFolder.h"

namespace {

TEST(Process, ExitCodeComesBackUnderEveryStartFlagSet) {
  for (platform::StartFlags flags :
       {platform::kManifestCommandStart, platform::kDeltaToolStart, platform::kStartPlain}) {
    platform::ProcessRun run = platform::RunProcess(ExitCommand(2).c_str(), nullptr, flags);
    ASSERT_TRUE(run.started) << run.failure.reason;
    EXPECT_TRUE(run.exitCodeRead);
    EXPECT_EQ(run.exitCode, 2u);
  }
  platform::ProcessRun run = platform::RunProcess(ExitCommand(0).c_str(), "", platform::kStartPlain);
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_TRUE(run.exitCodeRead);
  EXPECT_EQ(run.exitCode, 0u);
}

TEST(Process, HandleWaitsTwiceAndKeepsTheExitCode) {
  platform::ProcessLauncher* launcher = platform::NativeProcessLauncher();
  platform::ProcessHandle child = platform::kNoProcess;
  platform::StartFailure failure;
  ASSERT_TRUE(launcher->Start(ExitCommand(7).c_str(), nullptr, platform::kStartPlain, &child, &failure))
      << failure.reason;
  EXPECT_NE(child, platform::kNoProcess);
  ASSERT_TRUE(launcher->Wait(child));
  EXPECT_TRUE(launcher->Wait(child));
  std::uint32_t code = 0;
  ASSERT_TRUE(launcher->ExitCode(child, &code));
  EXPECT_EQ(code, 7u);
  code = 0;
  ASSERT_TRUE(launcher->ExitCode(child, &code));
  EXPECT_EQ(code, 7u);
  launcher->Close(child);
}

TEST(Process, ChildRunsInTheWorkingFolder) {
  TempFolder folder;
  const std::string workingFolder = folder.Path().string();
  platform::ProcessRun run = platform::RunProcess(CreateFileCommand("marker.txt").c_str(),
                                                  workingFolder.c_str(), platform::kManifestCommandStart);
  ASSERT_TRUE(run.started) << run.failure.reason;
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / "marker.txt"));
}

TEST(Process, MissingProgramOrFolderDoesNotStart) {
  TempFolder folder;
  // Both systems number a missing file 2 (ERROR_FILE_NOT_FOUND, ENOENT).
  const std::string missing = folder.File("missing-program");
  platform::ProcessRun run = platform::RunProcess(missing.c_str(), nullptr, platform::kDeltaToolStart);
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.failure.systemError, 2);
  EXPECT_FALSE(run.failure.reason.empty());

  const std::string missingFolder = folder.File("no such folder");
  run = platform::RunProcess(ExitCommand(0).c_str(), missingFolder.c_str(), platform::kManifestCommandStart);
  EXPECT_FALSE(run.started);
  EXPECT_NE(run.failure.systemError, 0);
  EXPECT_FALSE(run.failure.reason.empty());

  run = platform::RunProcess("", nullptr, platform::kStartPlain);
  EXPECT_FALSE(run.started);
  EXPECT_NE(run.failure.systemError, 0);
}

TEST(FaultInjectingProcessLauncher, FailsOrPretendsForMatchingLinesAndForwardsTheRest) {
  platform::ProcessLauncher* native = platform::NativeProcessLauncher();
  {
    FaultInjectingProcessLauncher launcher;
    EXPECT_EQ(platform::CurrentProcessLauncher(), &launcher);
    launcher.FailStart("setup.exe", 5);
    launcher.ReportExitCode("xdelta3.exe", 2);

    platform::ProcessRun run = platform::RunProcess("C:\\Game\\setup.exe /quiet", "C:\\Game", 0);
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.failure.systemError, 5);
    EXPECT_FALSE(run.failure.reason.empty());

    run = platform::RunProcess("xdelta3.exe -f -d -s \"a\" \"b\" \"c\"", nullptr, platform::kDeltaToolStart);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.exitCodeRead);
    EXPECT_EQ(run.exitCode, 2u);

    launcher.hideExitCodes = true;
    run = platform::RunProcess("xdelta3.exe -f -d", nullptr, platform::kDeltaToolStart);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.exitCodeRead);

    run = platform::RunProcess(ExitCommand(3).c_str(), nullptr, platform::kStartPlain);
    ASSERT_TRUE(run.started) << run.failure.reason;
    EXPECT_TRUE(run.exitCodeRead);
    EXPECT_EQ(run.exitCode, 3u);

    ASSERT_EQ(launcher.commandLines.size(), 4u);
    EXPECT_EQ(launcher.commandLines[0], "C:\\Game\\setup.exe /quiet");
    EXPECT_EQ(launcher.workingFolders[0], "C:\\Game");
    EXPECT_EQ(launcher.commandLines[3], ExitCommand(3));
  }
  EXPECT_EQ(platform::CurrentProcessLauncher(), native);
}

}  // namespace
