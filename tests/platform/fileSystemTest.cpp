// The native file system of each target, exercised through the seam exactly as the core uses it.
#include "platform/fileSystem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "support/tempFolder.h"

namespace {

platform::FileSystem* Native() { return platform::NativeFileSystem(); }

bool WriteFile(const std::string& name, const std::string& bytes) {
  platform::FileHandle file = Native()->OpenWrite(name.c_str());
  if (!platform::IsValidFile(file)) return false;
  std::uint32_t written = 0;
  bool ok = Native()->Write(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
            written == bytes.size();
  return Native()->Close(file) && ok;
}

std::string ReadAll(const std::string& name) {
  platform::FileHandle file = Native()->OpenRead(name.c_str());
  if (!platform::IsValidFile(file)) return "<missing>";
  std::uint64_t size = 0;
  Native()->Size(file, &size);
  std::string bytes(size, '\0');
  std::uint32_t got = 0;
  Native()->ReadAt(file, 0, bytes.data(), static_cast<std::uint32_t>(size), &got);
  Native()->Close(file);
  bytes.resize(got);
  return bytes;
}

}  // namespace

TEST(FileSystem, WriteAppendReadAtAndSize) {
  TempFolder folder;
  const std::string name = folder.File("data.bin");
  ASSERT_TRUE(WriteFile(name, "hello"));
  platform::FileHandle append = Native()->OpenAppend(name.c_str());
  ASSERT_TRUE(platform::IsValidFile(append));
  std::uint32_t written = 0;
  ASSERT_TRUE(Native()->Write(append, " world", 6, &written));
  EXPECT_EQ(written, 6u);
  Native()->Close(append);
  EXPECT_EQ(ReadAll(name), "hello world");

  platform::FileHandle file = Native()->OpenRead(name.c_str());
  char buffer[16] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(Native()->ReadAt(file, 6, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 5u);  // short at the end of the file
  EXPECT_EQ(std::string(buffer, got), "world");
  ASSERT_TRUE(Native()->ReadAt(file, 100, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);
  std::int64_t seconds = 0;
  EXPECT_TRUE(Native()->LastWriteTime(file, &seconds));
  EXPECT_GT(seconds, 1600000000);  // after 2020
  Native()->Close(file);
}

TEST(FileSystem, EitherSeparatorAndMissingFilesAreClassified) {
  TempFolder folder;
  ASSERT_TRUE(Native()->CreateFolder(folder.File("sub").c_str()));
  EXPECT_TRUE(Native()->CreateFolder(folder.File("sub").c_str()));  // exists already: fine
  std::string forward = folder.Path().string() + "/sub/a.txt";
  std::string backward = folder.Path().string() + "\\sub\\a.txt";
  ASSERT_TRUE(WriteFile(forward, "x"));
  EXPECT_EQ(ReadAll(backward), "x");

  platform::FileHandle missing = Native()->OpenRead(folder.File("absent.bin").c_str());
  EXPECT_EQ(missing, platform::kInvalidFile);
  EXPECT_EQ(Native()->ErrorKind(Native()->LastError()), platform::FileError::NotFound);
  EXPECT_FALSE(Native()->Delete(folder.File("absent.bin").c_str()));
  EXPECT_EQ(Native()->ErrorKind(Native()->LastError()), platform::FileError::NotFound);
  char text[256];
  Native()->ErrorText(Native()->LastError(), text, sizeof text);
  EXPECT_GT(std::strlen(text), 0u);
  // A folder is not a file to read.
  EXPECT_EQ(Native()->OpenRead(folder.File("sub").c_str()), platform::kInvalidFile);
  bool isFolder = false;
  EXPECT_TRUE(Native()->Exists(folder.File("sub").c_str(), &isFolder));
  EXPECT_TRUE(isFolder);
  EXPECT_FALSE(Native()->Exists(folder.File("nothing").c_str(), &isFolder));
}

TEST(FileSystem, RenameReplacesAndListingSeesEveryEntry) {
  TempFolder folder;
  ASSERT_TRUE(WriteFile(folder.File("old.bin"), "old"));
  ASSERT_TRUE(WriteFile(folder.File("new.tmp"), "new"));
  ASSERT_TRUE(Native()->RenameReplacing(folder.File("new.tmp").c_str(), folder.File("old.bin").c_str()));
  EXPECT_EQ(ReadAll(folder.File("old.bin")), "new");
  ASSERT_TRUE(Native()->CreateFolder(folder.File("dir").c_str()));
  std::set<std::string> seen;
  ASSERT_TRUE(Native()->ListFolder(
      folder.Path().string().c_str(),
      [](const platform::FolderEntry& entry, void* context) {
        static_cast<std::set<std::string>*>(context)->insert(std::string(entry.name) + (entry.isFolder ? "/" : ""));
      },
      &seen));
  EXPECT_EQ(seen, (std::set<std::string>{"old.bin", "dir/"}));
  EXPECT_TRUE(Native()->MakeWritable(folder.File("old.bin").c_str()));
  EXPECT_TRUE(Native()->Delete(folder.File("old.bin").c_str()));
  EXPECT_EQ(ReadAll(folder.File("old.bin")), "<missing>");
}

// Names of every script, in UTF-8 as the core holds them, reach the system unchanged whatever its
// code page: written, found, listed with their spelling, renamed in a letter's case, deleted.
TEST(FileSystem, NamesOfEveryScriptAreKeptAsTheyAreSpelt) {
  TempFolder folder;
  const std::string base = folder.Path().string() + "/";  // the UTF-8 names are appended as they are
  const std::set<std::string> names = {"řeč.txt", "Übersicht.pak", "żółć.dat", "уровень.dat", "αρχείο.txt",
                                       "セーブデータ.bin", "ɐⱥ.txt", std::string(200, 'x') + "データ"};
  for (const std::string& name : names) ASSERT_TRUE(WriteFile(base + name, name)) << name;
  ASSERT_TRUE(Native()->CreateFolder((base + "Документы").c_str()));
  std::set<std::string> seen;
  ASSERT_TRUE(Native()->ListFolder(
      folder.Path().string().c_str(),
      [](const platform::FolderEntry& entry, void* context) {
        static_cast<std::set<std::string>*>(context)->insert(entry.name);
      },
      &seen));
  std::set<std::string> expected = names;
  expected.insert("Документы");
  EXPECT_EQ(seen, expected);
  for (const std::string& name : names) EXPECT_EQ(ReadAll(base + name), name) << name;

  // Renamed only in the case of a non-ASCII letter: treated just as a rename in an ASCII letter's
  // case (the new spelling, or on Linux the name that is already there), and found by either spelling.
  ASSERT_TRUE(WriteFile(base + "ascii.txt", "a"));
  ASSERT_TRUE(Native()->RenameReplacing((base + "ascii.txt").c_str(), (base + "Ascii.txt").c_str()));
  ASSERT_TRUE(Native()->RenameReplacing((base + "řeč.txt").c_str(), (base + "Řeč.txt").c_str()));
  std::string ascii, actual;
  ASSERT_TRUE(Native()->ActualName((base + "ascii.TXT").c_str(), &ascii));
  ASSERT_TRUE(Native()->ActualName((base + "ŘEČ.TXT").c_str(), &actual));
  EXPECT_EQ(ascii == "Ascii.txt", actual == "Řeč.txt") << ascii << " " << actual;
  EXPECT_TRUE(actual == "Řeč.txt" || actual == "řeč.txt") << actual;
  EXPECT_EQ(ReadAll(base + "ŘEČ.txt"), "řeč.txt");
  bool isFolder = true;
  EXPECT_TRUE(Native()->Exists((base + "Документы").c_str(), &isFolder) && isFolder);
  EXPECT_TRUE(Native()->Delete((base + "Řeč.txt").c_str()));
  EXPECT_EQ(ReadAll(base + "Řeč.txt"), "<missing>");
}

TEST(FileSystem, MappedViewsAtUnalignedOffsets) {
  TempFolder folder;
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  ASSERT_TRUE(WriteFile(folder.File("map.bin"), bytes));
  platform::FileHandle file = Native()->OpenRead(folder.File("map.bin").c_str());
  ASSERT_TRUE(platform::IsValidFile(file));
  platform::MappedView view;
  ASSERT_TRUE(Native()->MapView(file, 70001, 1000, &view));
  ASSERT_EQ(view.size, 1000u);
  EXPECT_EQ(std::memcmp(view.data, bytes.data() + 70001, 1000), 0);
  Native()->UnmapView(&view);
  EXPECT_EQ(view.data, nullptr);
  ASSERT_TRUE(Native()->MapView(file, 0, 0, &view));  // an empty view maps nothing
  EXPECT_EQ(view.size, 0u);
  Native()->Close(file);
}

TEST(FileSystem, TheProcessWideObjectCanBeReplacedAndRestored) {
  platform::FileSystem* native = platform::CurrentFileSystem();
  EXPECT_EQ(native, platform::NativeFileSystem());
  platform::FileSystem* previous = platform::SetFileSystem(native);
  EXPECT_EQ(previous, native);
  platform::SetFileSystem(nullptr);
  EXPECT_EQ(platform::CurrentFileSystem(), platform::NativeFileSystem());
}
