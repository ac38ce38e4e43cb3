#include "install/uninstallLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

DynArray<RefString> List(std::initializer_list<const char*> lines) {
  DynArray<RefString> list;
  for (const char* line : lines) list.Add(RefString(line));
  return list;
}

TEST(UninstallLog, ANewLogTakesTheWholeListWithTemporaryExtensionsCut) {
  TempFolder folder;
  const std::string install = folder.Path().string() + "\\";  // a trailing backslash, as installFolder has
  install::WriteUninstallLog(List({"F:C:\\Game\\data\\new.pak.tmp", "D:C:\\Game\\data", "D:C:\\Game\\data",
                                   "F:C:\\Game\\x.TMP", "F:C:\\Game\\keep.tmp.pak", "F:C:\\Game.tmp\\file"}),
                             install.c_str());
  EXPECT_EQ(ReadFile(folder.Path() / "uninstall.log"),
            "F:C:\\Game\\data\\new.pak\r\nD:C:\\Game\\data\r\nD:C:\\Game\\data\r\nF:C:\\Game\\x\r\n"
            "F:C:\\Game\\keep.tmp.pak\r\nF:C:\\Game.tmp\\file\r\n");
}

TEST(UninstallLog, AnExistingLogGetsOnlyLinesItDoesNotHoldIgnoringCase) {
  TempFolder folder;
  { std::ofstream(folder.Path() / "uninstall.log", std::ios::binary) << "F:C:\\GAME\\X.PAK\nD:C:\\Game\r\n"; }
  install::WriteUninstallLog(List({"F:c:\\game\\x.pak", "D:C:\\Game\\new", "d:c:\\game\\NEW", "F:C:\\Game\\y.pak.tmp", "D:c:\\game"}),
                             folder.Path().string().c_str());
  EXPECT_EQ(ReadFile(folder.Path() / "uninstall.log"),
            "F:C:\\GAME\\X.PAK\nD:C:\\Game\r\nD:C:\\Game\\new\r\nF:C:\\Game\\y.pak\r\n");
  // Everything there already: nothing is added.
  const std::string before = ReadFile(folder.Path() / "uninstall.log");
  install::WriteUninstallLog(List({"F:C:\\Game\\Y.PAK", "D:C:\\GAME\\NEW"}), folder.Path().string().c_str());
  EXPECT_EQ(ReadFile(folder.Path() / "uninstall.log"), before);
}

TEST(UninstallLog, NothingToWriteLeavesNoLog) {
  TempFolder folder;
  install::WriteUninstallLog(List({}), folder.Path().string().c_str());
  install::WriteUninstallLog(List({"F:x"}), "");
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "uninstall.log"));
  // A folder that does not exist: silently nothing.
  install::WriteUninstallLog(List({"F:x"}), (folder.Path() / "missing").string().c_str());
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));
}

}  // namespace

namespace {

// The log is replaced in one step: a failure anywhere leaves the old log whole, with no temporary file
// beside it, and a log that cannot be read whole is not rewritten from what was read.
TEST(UninstallLog, FailuresLeaveTheOldLogWhole) {
  TempFolder folder;
  const std::string install = folder.Path().string() + "\\";
  const std::string old = "F:C:\\Game\\old.pak\r\n" + std::string(100000, 'x') + "\r\n";
  const auto reset = [&] { std::ofstream(folder.Path() / "uninstall.log", std::ios::binary) << old; };
  const auto leftovers = [&] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) count += entry.path().filename() != "uninstall.log";
    return count;
  };
  const DynArray<RefString> list = List({"F:C:\\Game\\new.pak"});
  {
    FaultInjectingFileSystem files;
    files.failRename = true;
    reset();
    install::WriteUninstallLog(list, install.c_str());
    EXPECT_EQ(ReadFile(folder.Path() / "uninstall.log"), old);
    EXPECT_EQ(leftovers(), 0);
  }
  {
    FaultInjectingFileSystem files;
    files.diskSpace = 10;
    reset();
    install::WriteUninstallLog(list, install.c_str());
    EXPECT_EQ(ReadFile(folder.Path() / "uninstall.log"), old);
    EXPECT_EQ(leftovers(), 0);
  }
  {
    FaultInjectingFileSystem files;
    files.readFailFrom = 65536;  // the log's end cannot be read
    reset();
    install::WriteUninstallLog(list, install.c_str());
    EXPECT_EQ(ReadFile(folder.Path() / "uninstall.log"), old);
  }
  reset();
  install::WriteUninstallLog(list, install.c_str());
  EXPECT_EQ(ReadFile(folder.Path() / "uninstall.log"), old + "F:C:\\Game\\new.pak\r\n");
}

}  // namespace
