// The action log: each failed file action appended to "patch.log" in the current folder and echoed to
// where the program sends it (standard output, or the JSON lines of --json).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "patch/applyPatch.h"
#include "platform/fileSystem.h"
#include "support/tempFolder.h"

namespace {

std::vector<std::string> echoed;

TEST(ActionLog, LinesGoToTheLogFileAndToTheProgramsEcho) {
  TempFolder folder;
  platform::FileSystem* files = platform::CurrentFileSystem();
  std::string previous;
  ASSERT_TRUE(files->CurrentFolder(&previous));
  ASSERT_TRUE(files->SetCurrentFolder(folder.Path().string().c_str()));
  echoed.clear();
  patch::SetActionLogEcho([](const char* line) { echoed.emplace_back(line); });
  patch::LogActionFailure("Cannot copy file a to b");
  patch::LogActionFailure("Cannot remove file c");
  {
    std::ifstream in(folder.Path() / "patch.log", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "Cannot copy file a to bCannot remove file c");
  }
  // A log that cannot be opened is said so through the same echo, and the line still reaches it.
  std::filesystem::remove(folder.Path() / "patch.log");
  std::filesystem::create_directory(folder.Path() / "patch.log");
  patch::LogActionFailure("Cannot copy file d to e");
  patch::SetActionLogEcho(nullptr);
  files->SetCurrentFolder(previous.c_str());
  EXPECT_EQ(echoed, (std::vector<std::string>{"Cannot copy file a to b", "Cannot remove file c",
                                              "Cannot write to log file", "Cannot copy file d to e"}));
}

}  // namespace
