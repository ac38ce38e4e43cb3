// CreateShellLink of each target: the shell's link object under Wine, the program's own writer on
// Linux. What the files say is compared through lnkinfo by tests/tools/platformProbe.cmake; here, that
// each build writes a link file where asked and nothing where it cannot.
#include "platform/shellLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fileSystem.h"
#include "support/tempFolder.h"

namespace {

std::vector<std::uint8_t> ReadAll(const std::string& name) {
  platform::FileSystem* files = platform::NativeFileSystem();
  platform::FileHandle file = files->OpenRead(name.c_str());
  if (!platform::IsValidFile(file)) return {};
  std::uint64_t size = 0;
  files->Size(file, &size);
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t got = 0;
  files->ReadAt(file, 0, bytes.data(), static_cast<std::uint32_t>(size), &got);
  files->Close(file);
  return bytes;
}

}  // namespace

TEST(CreateShellLink, WritesALinkFileAndReplacesAnOldOne) {
  TempFolder folder;
  const std::string link = folder.File("Editor.lnk");
  platform::ComponentLibraryScope components;
  ASSERT_TRUE(platform::CreateShellLink(link.c_str(), "C:\\Games\\Corvanth\\bin\\editor.exe", "Level editor",
                                        "C:\\Games\\Corvanth\\bin\\editor.exe", "-window"));
  std::vector<std::uint8_t> bytes = ReadAll(link);
  ASSERT_GE(bytes.size(), 80u);
  EXPECT_EQ(bytes[0], 0x4C);
  const std::uint8_t linkClassId[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(std::memcmp(&bytes[4], linkClassId, 16), 0);
  const std::uint32_t flags = bytes[20] | bytes[21] << 8;
  EXPECT_EQ(flags & 0x34u, 0x34u);  // description, working folder and arguments present

  // Made again with another description, the link is replaced.
  ASSERT_TRUE(platform::CreateShellLink(link.c_str(), "C:\\Games\\Corvanth\\bin\\editor.exe", "Other",
                                        "C:\\Games\\Corvanth\\bin\\editor.exe", "-window"));
  const std::vector<std::uint8_t> again = ReadAll(link);
  const std::uint8_t other[] = {'O', 0, 't', 0, 'h', 0, 'e', 0, 'r', 0};
  EXPECT_NE(std::search(again.begin(), again.end(), other, other + sizeof other), again.end());
  EXPECT_NE(again, bytes);
}

TEST(CreateShellLink, ALinkInAMissingFolderIsNotCreated) {
  TempFolder folder;
  const std::string link = folder.File("missing/Editor.lnk");
  platform::ComponentLibraryScope components;
  EXPECT_FALSE(platform::CreateShellLink(link.c_str(), "C:\\a.exe", "", "", ""));
  bool isFolder = false;
  EXPECT_FALSE(platform::NativeFileSystem()->Exists(link.c_str(), &isFolder));
}
