// The Linux build's view of a Wine prefix: drive letters, names matched without regard to case
// (UTF-8 included), new components spelled as given, and the 32-bit program's folders by architecture.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/fileSystem.h"
#include "platform/installRights.h"
#include "platform/machine.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;

// A made-up prefix: drive_c with mixed-case folders, a D: drive linked to a folder outside it.
class Prefix : public ::testing::Test {
 protected:
  void SetUp() override {
    root = folder.Path() / "pfx";
    fs::create_directories(root / "drive_c" / "Games" / "Example" / "Data");
    fs::create_directories(root / "drive_c" / "Program Files (x86)");
    fs::create_directories(root / "drive_c" / "Program Files");
    fs::create_directories(root / "dosdevices");
    fs::create_directories(folder.Path() / "media" / "Disc");
    fs::create_directory_symlink(folder.Path() / "media", root / "dosdevices" / "d:");
    Write(root / "drive_c" / "Games" / "Example" / "Data" / "Map.pak", "map");
    Write(root / "drive_c" / "Games" / "Example" / "Data" / u8"Übersicht.pak", "overview");
    Write(root / "drive_c" / "Games" / "Example" / u8"řeč.txt", "speech");
    Architecture("win64");
    std::string error;
    ASSERT_TRUE(platform::SelectPrefix(root.string().c_str(), &error)) << error;
  }
  void TearDown() override {
    std::string error;
    platform::SelectPrefix(previous.c_str(), &error);
  }

  static void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  void Architecture(const char* arch) {
    Write(root / "system.reg", std::string("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=") +
                                   arch + "\n\n[Software] 1700000000\n");
  }
  std::string Native(const char* name) {
    std::string native;
    EXPECT_TRUE(platform::ToNativePath(name, &native)) << name;
    return native;
  }
  std::string Read(const char* name) {
    platform::FileSystem* files = platform::CurrentFileSystem();
    const platform::FileHandle file = files->OpenRead(name);
    if (!platform::IsValidFile(file)) return "(cannot open)";
    char buffer[64];
    std::uint32_t got = 0;
    files->ReadAt(file, 0, buffer, sizeof buffer, &got);
    files->Close(file);
    return std::string(buffer, got);
  }

  TempFolder folder;
  fs::path root;
  std::string previous = platform::PrefixDirectory();
};

TEST_F(Prefix, DrivesAndNamesMapWithoutRegardToCase) {
  const std::string c = root.string() + "/drive_c";
  EXPECT_EQ(Native("C:\\Games\\Example\\Data\\Map.pak"), c + "/Games/Example/Data/Map.pak");
  EXPECT_EQ(Native("c:\\GAMES\\example\\DATA\\MAP.PAK"), c + "/Games/Example/Data/Map.pak");
  EXPECT_EQ(Read("C:\\GAMES\\EXAMPLE\\DATA\\map.pak"), "map");
  // Letters outside ASCII fold too: the game's file is found, read and replaced under its own name.
  EXPECT_EQ(Read(u8"C:\\Games\\Example\\Data\\übersicht.PAK"), "overview");
  EXPECT_EQ(Read(u8"C:\\Games\\Example\\ŘEČ.TXT"), "speech");
  platform::FileSystem* files = platform::CurrentFileSystem();
  const platform::FileHandle out = files->OpenWrite(u8"C:\\games\\example\\ŘEČ.TXT.tmp");
  ASSERT_TRUE(platform::IsValidFile(out));
  std::uint32_t written = 0;
  files->Write(out, "new speech", 10, &written);
  files->Close(out);
  ASSERT_TRUE(files->RenameReplacing(u8"C:\\games\\example\\ŘEČ.TXT.tmp", u8"C:\\games\\example\\ŘEČ.TXT"));
  EXPECT_EQ(Read(u8"C:\\Games\\Example\\řeč.txt"), "new speech");
  std::string actual;
  ASSERT_TRUE(files->ActualName(u8"C:\\GAMES\\EXAMPLE\\ŘEČ.TXT", &actual));
  EXPECT_EQ(actual, u8"řeč.txt");
  EXPECT_FALSE(fs::exists(root / "drive_c" / "Games" / "Example" / u8"ŘEČ.TXT")) << "no second file beside it";

  // New components keep the spelling given; existing ones are reused.
  ASSERT_TRUE(files->CreateFolder("C:\\GAMES\\Example\\NewFolder"));
  EXPECT_TRUE(fs::is_directory(c + "/Games/Example/NewFolder"));
  EXPECT_EQ(Native("C:\\games\\example\\newfolder\\Sub\\File.TXT"), c + "/Games/Example/NewFolder/Sub/File.TXT");

  // Drives: a dosdevices link, Z: for the root, no guessing for unknown letters.
  EXPECT_EQ(Native("D:\\DISC"), root.string() + "/dosdevices/d:/Disc");
  EXPECT_EQ(Native("Z:\\usr\\BIN"), "/usr/bin");
  std::string native;
  EXPECT_FALSE(platform::ToNativePath("Q:\\anything", &native));
  EXPECT_FALSE(platform::ToNativePath("C:\\Games\\..\\..\\etc\\passwd", &native)) << native;
  EXPECT_EQ(Native("C:\\Games\\Example\\..\\Example\\.\\Data"), c + "/Games/Example/Data");
}

// A native folder named in the program's own form: on drive_c, on a drive linked to another folder,
// else on Z:; with links resolved, and back again to the same folder.
TEST_F(Prefix, NativePathsMapToTheDriveThatHoldsThem) {
  std::string name;
  ASSERT_TRUE(platform::ToWindowsPath((root / "drive_c" / "Games" / "Example").string(), &name));
  EXPECT_EQ(name, "C:\\Games\\Example");
  ASSERT_TRUE(platform::ToWindowsPath((root / "drive_c").string() + "/", &name));
  EXPECT_EQ(name, "C:\\");
  ASSERT_TRUE(platform::ToWindowsPath((folder.Path() / "media" / "Disc").string(), &name));
  EXPECT_EQ(name, "D:\\Disc");
  const fs::path outside = folder.Path() / "Steam Library" / "common";
  fs::create_directories(outside);
  ASSERT_TRUE(platform::ToWindowsPath(outside.string(), &name));
  std::string expected = "Z:" + fs::canonical(outside).string();
  for (char& c : expected) c = c == '/' ? '\\' : c;
  EXPECT_EQ(name, expected);
  EXPECT_EQ(Native(name.c_str()), fs::canonical(outside).string());
  // Through a link into drive_c: the drive of the folder it leads to.
  fs::create_directory_symlink(root / "drive_c" / "Games", folder.Path() / "games link");
  ASSERT_TRUE(platform::ToWindowsPath((folder.Path() / "games link" / "Example").string(), &name));
  EXPECT_EQ(name, "C:\\Games\\Example");

  EXPECT_FALSE(platform::ToWindowsPath((folder.Path() / "missing").string(), &name));
  fs::create_directories(folder.Path() / "back\\slash");
  EXPECT_FALSE(platform::ToWindowsPath((folder.Path() / "back\\slash").string(), &name));
}

TEST_F(Prefix, ArchitectureDecidesTheProgramFilesFolder) {
  EXPECT_TRUE(platform::MachineIs64Bit());
  EXPECT_EQ(platform::ProgramFilesFolder(), "C:\\Program Files (x86)");
  Architecture("win32");
  EXPECT_FALSE(platform::MachineIs64Bit());
  EXPECT_EQ(platform::ProgramFilesFolder(), "C:\\Program Files");
}

TEST_F(Prefix, TemporaryFolderIsInsideThePrefix) {
  std::string temporary;
  ASSERT_TRUE(platform::TemporaryFolder(&temporary));
  EXPECT_EQ(temporary.rfind("C:\\users\\", 0), 0u) << temporary;
  EXPECT_EQ(temporary.back(), '\\');
  bool isFolder = false;
  EXPECT_TRUE(platform::CurrentFileSystem()->Exists(temporary.c_str(), &isFolder) && isFolder) << temporary;
  EXPECT_EQ(Native(temporary.c_str()).rfind(root.string() + "/drive_c/users/", 0), 0u);
}

TEST_F(Prefix, InstallRightsNeedWritableProgramFilesAndRegistry) {
  EXPECT_TRUE(platform::CheckInstallRights());
  fs::rename(root / "system.reg", root / "system.reg.away");
  EXPECT_FALSE(platform::CheckInstallRights()) << "a prefix without its machine registry";
  fs::rename(root / "system.reg.away", root / "system.reg");
  fs::rename(root / "drive_c" / "Program Files (x86)", root / "drive_c" / "away");
  EXPECT_FALSE(platform::CheckInstallRights()) << "a 64-bit prefix without the 32-bit Program Files";
  fs::rename(root / "drive_c" / "away", root / "drive_c" / "Program Files (x86)");
  EXPECT_TRUE(platform::CheckInstallRights());
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere: permissions are not tested";
  ::chmod((root / "drive_c" / "Program Files (x86)").c_str(), 0555);
  EXPECT_FALSE(platform::CheckInstallRights());
  ::chmod((root / "drive_c" / "Program Files (x86)").c_str(), 0755);
  ::chmod((root / "system.reg").c_str(), 0444);
  EXPECT_FALSE(platform::CheckInstallRights());
  ::chmod((root / "system.reg").c_str(), 0644);
}

}  // namespace
