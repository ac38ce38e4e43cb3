// The link file writer, byte for byte, and its atomic write through the file-system seam. lnkinfo's
// reading of the same files is checked by tests/tools/platformProbe.cmake.
#include "platform/shellLinkFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8 | std::uint32_t(b.at(at + 2)) << 16 |
         std::uint32_t(b.at(at + 3)) << 24;
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

// A counted UTF-16 string at `at`; moves `at` past it.
std::u16string CountedString(const Bytes& b, std::size_t* at) {
  const std::size_t count = U16(b, *at);
  std::u16string text;
  for (std::size_t i = 0; i < count; ++i) text += static_cast<char16_t>(U16(b, *at + 2 + 2 * i));
  *at += 2 + 2 * count;
  return text;
}

std::string Narrow(const Bytes& b, std::size_t at) { return std::string(reinterpret_cast<const char*>(&b.at(at))); }

Bytes ReadAll(const std::string& name) {
  platform::FileSystem* files = platform::NativeFileSystem();
  platform::FileHandle file = files->OpenRead(name.c_str());
  if (!platform::IsValidFile(file)) return Bytes();
  std::uint64_t size = 0;
  files->Size(file, &size);
  Bytes bytes(size);
  std::uint32_t got = 0;
  files->ReadAt(file, 0, bytes.data(), static_cast<std::uint32_t>(size), &got);
  files->Close(file);
  return bytes;
}

bool Exists(const std::string& name) {
  bool isFolder = false;
  return platform::NativeFileSystem()->Exists(name.c_str(), &isFolder);
}

}  // namespace

TEST(ShellLinkFile, WorkingFolderIsCutAtTheLastSeparatorAfterTheFirstCharacter) {
  EXPECT_EQ(platform::WorkingFolderOf("C:\\Games\\Corvanth\\bin\\editor.exe"), "C:\\Games\\Corvanth\\bin");
  EXPECT_EQ(platform::WorkingFolderOf("C:/Games/bin\\tools/run.exe"), "C:/Games/bin\\tools");
  EXPECT_EQ(platform::WorkingFolderOf("C:\\Games\\"), "C:\\Games");
  EXPECT_EQ(platform::WorkingFolderOf("C:\\x.exe"), "C:");
  EXPECT_EQ(platform::WorkingFolderOf("\\x.exe"), "\\x.exe");  // the only separator is the first character
  EXPECT_EQ(platform::WorkingFolderOf("/"), "/");
  EXPECT_EQ(platform::WorkingFolderOf("editor.exe"), "editor.exe");
  EXPECT_EQ(platform::WorkingFolderOf(""), "");
  EXPECT_EQ(platform::WorkingFolderOf(nullptr), "");
}

TEST(ShellLinkFile, HeaderLinkInfoAndStringsAreLaidOutAsTheFormatSays) {
  Bytes file;
  ASSERT_TRUE(platform::BuildShellLinkFile("C:\\Games\\Corvanth\\bin\\editor.exe", "Level editor",
                                           "C:\\Games\\Corvanth\\bin", "-window -mod=\"a b\"", &file));
  ASSERT_GE(file.size(), 76u);
  EXPECT_EQ(U32(file, 0), 0x4Cu);
  const std::uint8_t linkClassId[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(std::memcmp(&file[4], linkClassId, 16), 0);
  EXPECT_EQ(U32(file, 20), 0x02u | 0x04u | 0x10u | 0x20u | 0x80u);  // link info, name, working dir, arguments, Unicode
  EXPECT_EQ(U32(file, 60), 1u);  // show normally
  for (std::size_t at = 64; at < 76; ++at) EXPECT_EQ(file[at], 0) << at;

  // Link information: an ASCII path needs no Unicode offsets (header of 0x1C bytes).
  const std::size_t info = 76;
  const std::uint32_t infoSize = U32(file, info);
  EXPECT_EQ(U32(file, info + 4), 0x1Cu);
  EXPECT_EQ(U32(file, info + 8), 1u);  // volume id and local base path
  const std::uint32_t volume = U32(file, info + 12);
  EXPECT_EQ(U32(file, info + 20), 0u);  // no network location
  EXPECT_EQ(U32(file, info + volume + 4), 3u);  // fixed drive
  EXPECT_EQ(Narrow(file, info + U32(file, info + 16)), "C:\\Games\\Corvanth\\bin\\editor.exe");
  EXPECT_EQ(Narrow(file, info + U32(file, info + 24)), "");  // common path suffix
  EXPECT_EQ(infoSize, volume + 0x11 + 32 + 1 + 1);  // volume, path and its NUL, empty suffix

  std::size_t at = info + infoSize;
  EXPECT_EQ(CountedString(file, &at), u"Level editor");
  EXPECT_EQ(CountedString(file, &at), u"C:\\Games\\Corvanth\\bin");
  EXPECT_EQ(CountedString(file, &at), u"-window -mod=\"a b\"");
  EXPECT_EQ(U32(file, at), 0u);  // terminal block
  EXPECT_EQ(file.size(), at + 4);
}

TEST(ShellLinkFile, NonAsciiTextsBecomeUtf16AndEmptyOnesAreLeftOut) {
  Bytes file;
  // U+00FC, U+2013 and U+1F3AE (a surrogate pair).
  ASSERT_TRUE(platform::BuildShellLinkFile("C:\\Spiele\\M\xC3\xBCller\\game.exe", "", "",
                                           "-title \"A \xE2\x80\x93 \xF0\x9F\x8E\xAE\"", &file));
  EXPECT_EQ(U32(file, 20), 0x02u | 0x20u | 0x80u);
  const std::size_t info = 76;
  EXPECT_EQ(U32(file, info + 4), 0x24u);  // with the Unicode offsets
  EXPECT_EQ(Narrow(file, info + U32(file, info + 16)), "C:\\Spiele\\M?ller\\game.exe");
  std::u16string path;
  for (std::size_t p = info + U32(file, info + 28); U16(file, p) != 0; p += 2) {
    path += static_cast<char16_t>(U16(file, p));
  }
  EXPECT_EQ(path, u"C:\\Spiele\\M\u00FCller\\game.exe");
  EXPECT_EQ(U16(file, info + U32(file, info + 32)), 0);  // empty Unicode suffix, inside the block
  EXPECT_LT(U32(file, info + 32) + 2, U32(file, info) + 1);
  std::size_t at = info + U32(file, info);
  EXPECT_EQ(CountedString(file, &at), u"-title \"A \u2013 \U0001F3AE\"");
  EXPECT_EQ(U32(file, at), 0u);

  // No target: no link information at all.
  ASSERT_TRUE(platform::BuildShellLinkFile("", "d", "", "", &file));
  EXPECT_EQ(U32(file, 20), 0x04u | 0x80u);
  EXPECT_EQ(file.size(), 76u + 2 + 2 + 4);
}

TEST(ShellLinkFile, MalformedUtf8BecomesReplacementCharactersAndOverlongTextsAreRefused) {
  EXPECT_EQ(platform::Utf16FromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(platform::Utf16FromUtf8("\xC3"), u"\uFFFD");                 // cut short at the end
  EXPECT_EQ(platform::Utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong lead byte
  EXPECT_EQ(platform::Utf16FromUtf8("\xE0\x80\xAF"), u"\uFFFD");         // overlong three bytes
  EXPECT_EQ(platform::Utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD");         // a surrogate
  EXPECT_EQ(platform::Utf16FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD");     // beyond U+10FFFF
  EXPECT_EQ(platform::Utf16FromUtf8("\xE2\x82x"), u"\uFFFDx");
  EXPECT_EQ(platform::Utf16FromUtf8(nullptr), u"");

  Bytes file = {1, 2, 3};
  const std::string tooLong(65536, 'a');
  EXPECT_FALSE(platform::BuildShellLinkFile("C:\\a.exe", tooLong.c_str(), "", "", &file));
  EXPECT_FALSE(platform::BuildShellLinkFile(tooLong.c_str(), "", "", "", &file));
  EXPECT_EQ(file, (Bytes{1, 2, 3}));
  EXPECT_TRUE(platform::BuildShellLinkFile("C:\\a.exe", tooLong.substr(1).c_str(), "", "", &file));
}

TEST(ShellLinkFile, WritesAtomicallyAndLeavesNoTemporaryFileWhenAWriteOrRenameFails) {
  TempFolder folder;
  const std::string link = folder.File("Editor.lnk");
  ASSERT_TRUE(platform::WriteShellLinkFile(link.c_str(), "C:\\x\\old.exe", "old", "", ""));
  const Bytes old = ReadAll(link);
  Bytes expected;
  ASSERT_TRUE(platform::BuildShellLinkFile("C:\\x\\old.exe", "old", "", "", &expected));
  EXPECT_EQ(old, expected);

  {
    FaultInjectingFileSystem faults;
    faults.failWriteAt = 1;
    EXPECT_FALSE(platform::WriteShellLinkFile(link.c_str(), "C:\\x\\new.exe", "new", "", ""));
  }
  EXPECT_EQ(ReadAll(link), old);
  EXPECT_FALSE(Exists(link + ".tmp"));
  {
    FaultInjectingFileSystem faults;
    faults.diskSpace = 10;  // a full disk: the write stops short
    EXPECT_FALSE(platform::WriteShellLinkFile(link.c_str(), "C:\\x\\new.exe", "new", "", ""));
  }
  EXPECT_EQ(ReadAll(link), old);
  EXPECT_FALSE(Exists(link + ".tmp"));
  {
    FaultInjectingFileSystem faults;
    faults.failRename = true;
    EXPECT_FALSE(platform::WriteShellLinkFile(link.c_str(), "C:\\x\\new.exe", "new", "", ""));
  }
  EXPECT_EQ(ReadAll(link), old);
  EXPECT_FALSE(Exists(link + ".tmp"));

  // The link folder does not exist: nothing is written.
  EXPECT_FALSE(platform::WriteShellLinkFile(folder.File("missing/Editor.lnk").c_str(), "C:\\a.exe", "", "", ""));
  EXPECT_FALSE(platform::WriteShellLinkFile("", "C:\\a.exe", "", "", ""));

  ASSERT_TRUE(platform::WriteShellLinkFile(link.c_str(), "C:\\x\\new.exe", "new", "", ""));
  ASSERT_TRUE(platform::BuildShellLinkFile("C:\\x\\new.exe", "new", "", "", &expected));
  EXPECT_EQ(ReadAll(link), expected);
  EXPECT_FALSE(Exists(link + ".tmp"));
}
