// The Linux registry on a made-up prefix: the hive files, the 32-bit view of a 64-bit prefix, the
// refusal while a wineserver runs, and files that cannot be read or written.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/machine.h"
#include "platform/registry.h"
#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"
#include "support/testData.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PrefixRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder.Path() / "drive_c");
    std::ofstream(folder.Path() / "system.reg", std::ios::binary) << ReadTestText("registry/system.reg");
    std::ofstream(folder.Path() / "user.reg", std::ios::binary)
        << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
    std::string error;
    ASSERT_TRUE(platform::SelectPrefix(folder.Path().string().c_str(), &error)) << error;
  }
  void TearDown() override {
    std::string error;
    platform::SelectPrefix(previous.c_str(), &error);
  }
  bool Write(platform::RegistryHive hive, const char* path, const char* name, const char* value, std::string* error) {
    return platform::CurrentRegistry()->WriteString(hive, path, name, value, error);
  }

  TempFolder folder;
  std::string previous = platform::PrefixDirectory();
};

TEST_F(PrefixRegistry, MachineKeysOfThe32BitProgramGoToWow6432NodeInA64BitPrefix) {
  std::string error, value;
  ASSERT_TRUE(Write(platform::RegistryHive::LocalMachine, "Software\\Example\\Game", "MAIN", "C:\\Games\\Example", &error))
      << error;
  EXPECT_NE(ReadFile(folder.Path() / "system.reg").find("[Software\\\\Wow6432Node\\\\Example\\\\Game] "), std::string::npos);
  ASSERT_TRUE(platform::CurrentRegistry()->ReadString(platform::RegistryHive::LocalMachine, "SOFTWARE\\example\\game",
                                                      "main", &value));
  EXPECT_EQ(value, "C:\\Games\\Example");
  // The user's keys are not redirected, and go to user.reg.
  ASSERT_TRUE(Write(platform::RegistryHive::CurrentUser, "Software\\Example\\Game", "Language", "German", &error)) << error;
  EXPECT_NE(ReadFile(folder.Path() / "user.reg").find("[Software\\\\Example\\\\Game] "), std::string::npos);
  EXPECT_EQ(ReadFile(folder.Path() / "system.reg").find("Language"), std::string::npos);

  // In a 32-bit prefix there is one view.
  std::string text = ReadFile(folder.Path() / "system.reg");
  text.replace(text.find("#arch=win64"), 11, "#arch=win32");
  std::ofstream(folder.Path() / "system.reg", std::ios::binary) << text;
  ASSERT_TRUE(Write(platform::RegistryHive::LocalMachine, "Software\\Other", "MAIN", "D:\\Other", &error)) << error;
  EXPECT_NE(ReadFile(folder.Path() / "system.reg").find("[Software\\\\Other] "), std::string::npos);
}

TEST_F(PrefixRegistry, NothingChangesWhenTheFileCannotBeTrusted) {
  const std::string before = ReadFile(folder.Path() / "system.reg");
  std::string error;
  {
    FaultInjectingFileSystem files;
    files.failRename = true;
    EXPECT_FALSE(Write(platform::RegistryHive::LocalMachine, "Software\\Example", "MAIN", "x", &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  }
  {
    FaultInjectingFileSystem files;
    files.diskSpace = 1000;
    EXPECT_FALSE(Write(platform::RegistryHive::LocalMachine, "Software\\Example", "MAIN", "x", &error));
  }
  EXPECT_EQ(ReadFile(folder.Path() / "system.reg"), before);
  EXPECT_FALSE(fs::exists(folder.Path() / "system.reg.zrtmp"));

  std::ofstream(folder.Path() / "user.reg", std::ios::binary) << "WINE REGISTRY Version 2\n[K] 1\n\"cut\"=\"no end\n";
  EXPECT_FALSE(Write(platform::RegistryHive::CurrentUser, "Software\\Example", "MAIN", "x", &error));
  EXPECT_NE(error.find("is damaged (line 3"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(folder.Path() / "user.reg"), "WINE REGISTRY Version 2\n[K] 1\n\"cut\"=\"no end\n");
}

// A wineserver of the prefix listens on a socket named after the prefix folder's device and inode; a
// listener there stands for one.
TEST_F(PrefixRegistry, AWriteIsRefusedWhileAWineserverServesThePrefix) {
  struct stat prefix;
  ASSERT_EQ(::stat(folder.Path().c_str(), &prefix), 0);
  TempFolder server;
  const std::string name = server.Path().filename().string();
  char sub[64];
  std::snprintf(sub, sizeof sub, "server-%llx-%llx", static_cast<unsigned long long>(prefix.st_dev),
                static_cast<unsigned long long>(prefix.st_ino));
  ASSERT_EQ(server.Path().parent_path(), fs::path("/tmp")) << "the server folder lives in /tmp";
  fs::create_directories(server.Path() / sub);
  std::ofstream(folder.Path() / "wineserver") << name << "\n";
  const std::string socketPath = (server.Path() / sub / "socket").string();
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);

  const std::string before = ReadFile(folder.Path() / "system.reg");
  std::string error;
  EXPECT_FALSE(Write(platform::RegistryHive::LocalMachine, "Software\\Example", "MAIN", "x", &error));
  EXPECT_NE(error.find("wineserver -k"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(folder.Path() / "system.reg"), before);

  // A socket left behind by a server that ended does not count.
  ::close(listener);
  EXPECT_TRUE(Write(platform::RegistryHive::LocalMachine, "Software\\Example", "MAIN", "x", &error)) << error;
}

}  // namespace
