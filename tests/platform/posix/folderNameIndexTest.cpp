// The Linux build's name matching through its folder tables: the same answers as reading the folder
// for every look-up, while the folder is changed behind the tables' back (by direct system calls, by
// another process, within one timestamp tick, the folder itself replaced), and one read of a folder
// for many new files created in it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/fileSystem.h"
#include "platform/machine.h"
#include "platform/nameFolding.h"
#include "platform/posix/folderNameIndex.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;

// The answer read from the disk now: the exact spelling when it exists, else the first entry in byte
// order that is the same name without regard to case.
bool ReadMatch(const std::string& folder, const std::string& wanted, std::string* match) {
  struct stat info;
  if (::lstat((folder + "/" + wanted).c_str(), &info) == 0) {
    *match = wanted;
    return true;
  }
  DIR* listing = ::opendir(folder.c_str());
  if (!listing) return false;
  bool found = false;
  while (struct dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || platform::FoldNameCase(name) != platform::FoldNameCase(wanted)) continue;
    if (!found || name < *match) *match = name;
    found = true;
  }
  ::closedir(listing);
  return found;
}

void Touch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ::close(fd);
}

// Every wanted name gives the answer the disk gives now.
void ExpectSameAsDisk(const std::string& folder, const std::vector<std::string>& wanted, const char* after) {
  for (const std::string& name : wanted) {
    std::string expected, actual;
    const bool onDisk = ReadMatch(folder, name, &expected);
    const bool matched = platform::MatchFolderEntry(folder, name, &actual);
    EXPECT_EQ(matched, onDisk) << name << " after " << after;
    if (onDisk && matched) {
      EXPECT_EQ(actual, expected) << name << " after " << after;
    }
  }
}

TEST(FolderNameIndex, AnswersAsTheDiskWhileItChangesBehindTheTables) {
  TempFolder temp;
  const std::string folder = temp.File("Data");
  ASSERT_TRUE(fs::create_directory(folder));
  for (const char* name : {"Map.pak", "MAP.PAK", "map.pak", u8"Übersicht.pak", u8"řeč.txt", u8"Σοφία.txt",
                           u8"日本.txt", "\xC3(bad.bin"}) {
    Touch(folder + "/" + name);
  }
  ASSERT_TRUE(fs::create_directory(folder + "/Sounds"));
  const std::vector<std::string> wanted = {
      "Map.pak",  "MAP.PAK",  "map.pak",  "mAP.pak", "MaP.PaK",  u8"ÜBERSICHT.PAK", u8"übersicht.pak",
      u8"ŘEČ.TXT", u8"ΣΟΦΊΑ.TXT", u8"σοφία.txt", u8"日本.TXT", "\xC3(BAD.BIN", "\xC3(bad.bin", "SOUNDS",
      "new.dat",  "NEW.DAT",  "Later.txt", "LATER.TXT", "swap-a", "SWAP-B", "missing"};
  ExpectSameAsDisk(folder, wanted, "the first reading");
  // The exact spelling wins; else the first in byte order ("MAP.PAK" < "Map.pak" < "map.pak").
  std::string match;
  ASSERT_TRUE(platform::MatchFolderEntry(folder, "map.pak", &match));
  EXPECT_EQ(match, "map.pak");
  ASSERT_TRUE(platform::MatchFolderEntry(folder, "mAP.pak", &match));
  EXPECT_EQ(match, "MAP.PAK");

  // Each change is made straight through the system, within milliseconds of the one before, and the
  // tables are asked after each.
  ASSERT_EQ(::unlink((folder + "/MAP.PAK").c_str()), 0);
  ExpectSameAsDisk(folder, wanted, "a delete of the first spelling");
  ASSERT_EQ(::rename((folder + "/map.pak").c_str(), (folder + "/NEW.DAT").c_str()), 0);
  ExpectSameAsDisk(folder, wanted, "a rename");
  Touch(folder + "/new.dat");
  Touch(folder + "/swap-a");
  ExpectSameAsDisk(folder, wanted, "two files created");
  ASSERT_EQ(::rename((folder + "/new.dat").c_str(), (folder + "/Map.pak").c_str()), 0);
  ExpectSameAsDisk(folder, wanted, "a rename over an existing file");
  ASSERT_EQ(::rmdir((folder + "/Sounds").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (folder + "/sounds").c_str()), 0);
  ExpectSameAsDisk(folder, wanted, "a folder replaced by a dangling link");
  ASSERT_EQ(::link((folder + "/swap-a").c_str(), (folder + "/later.txt").c_str()), 0);
  ExpectSameAsDisk(folder, wanted, "a hard link");
  if (::renameat2(AT_FDCWD, (folder + "/swap-a").c_str(), AT_FDCWD, (folder + u8"/日本.txt").c_str(),
                  RENAME_EXCHANGE) == 0) {
    ExpectSameAsDisk(folder, wanted, "two names exchanged");
  }

  // A change whose folder time is then set back, as on a file system whose timestamps tick coarsely.
  struct stat before;
  ASSERT_EQ(::stat(folder.c_str(), &before), 0);
  ASSERT_EQ(::rename((folder + "/later.txt").c_str(), (folder + "/Later.TXT").c_str()), 0);
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
  ExpectSameAsDisk(folder, wanted, "a rename with the folder's time set back");

  // Another process renames and deletes (its names made before it starts: it only calls the system).
  const std::string from = folder + "/Later.TXT", to = folder + "/SWAP-B", gone = folder + u8"/Übersicht.pak";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool ok = ::rename(from.c_str(), to.c_str()) == 0 && ::unlink(gone.c_str()) == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ExpectSameAsDisk(folder, wanted, "another process's rename and delete");

  // The folder itself moved away and another made at its path: the new folder's names count.
  ASSERT_EQ(::rename(folder.c_str(), temp.File("Data.old").c_str()), 0);
  ASSERT_TRUE(fs::create_directory(folder));
  Touch(folder + "/MAP.pak");
  ExpectSameAsDisk(folder, wanted, "the folder replaced");
  ExpectSameAsDisk(temp.File("Data.old"), wanted, "the folder moved");
  ASSERT_EQ(::unlink((temp.File("Data.old") + "/NEW.DAT").c_str()), 0);
  ExpectSameAsDisk(temp.File("Data.old"), wanted, "a delete in the moved folder");
  // Through a link to the folder, and after the folder is gone.
  ASSERT_EQ(::symlink(folder.c_str(), temp.File("link").c_str()), 0);
  ExpectSameAsDisk(temp.File("link"), wanted, "a link to the folder");
  fs::remove_all(folder);
  EXPECT_FALSE(platform::MatchFolderEntry(folder, "map.pak", &match));
  EXPECT_FALSE(platform::MatchFolderEntry(temp.File("link"), "map.pak", &match));

  // More folders than the tables hold, asked in turn, each changed between the rounds.
  std::vector<std::string> folders;
  for (int i = 0; i < 100; ++i) {
    folders.push_back(temp.File("Set" + std::to_string(i)));
    ASSERT_TRUE(fs::create_directory(folders.back()));
    Touch(folders.back() + "/File" + std::to_string(i) + ".dat");
  }
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 100; ++i) {
      const std::string name = "FILE" + std::to_string(i) + ".DAT";
      ExpectSameAsDisk(folders[i], {name, "ROUND0.TXT", "ROUND1.TXT", "missing"}, "many folders");
      Touch(folders[i] + "/Round" + std::to_string(round) + ".txt");
      if (round > 0) ::unlink((folders[i] + "/Round" + std::to_string(round - 1) + ".txt").c_str());
    }
  }
}

// A Wine prefix as the tests set it up, selected for one test.
class NewFilesInPrefix : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp.Path() / "pfx";
    fs::create_directories(root / "drive_c" / "Games" / "Example" / "Data");
    std::string error;
    ASSERT_TRUE(platform::SelectPrefix(root.string().c_str(), &error)) << error;
  }
  void TearDown() override {
    std::string error;
    platform::SelectPrefix(previous.c_str(), &error);
  }
  static bool WriteThroughTemporary(const std::string& name) {
    platform::FileSystem* files = platform::CurrentFileSystem();
    const std::string temporary = name + ".tmp";
    const platform::FileHandle out = files->OpenWrite(temporary.c_str());
    if (!platform::IsValidFile(out)) return false;
    std::uint32_t written = 0;
    const bool ok = files->Write(out, name.data(), static_cast<std::uint32_t>(name.size()), &written);
    return files->Close(out) && ok && files->RenameReplacing(temporary.c_str(), name.c_str());
  }

  TempFolder temp;
  fs::path root;
  std::string previous = platform::PrefixDirectory();
};

// Creating many files in one folder reads the folder a few times, not once for each file, and the
// names stay exact, also for files created from several threads at once.
TEST_F(NewFilesInPrefix, ManyNewFilesReadTheirFolderOnce) {
  if (!platform::FolderChangesNotified()) GTEST_SKIP() << "no change notifications here: every look-up reads";
  constexpr int kFiles = 2000;
  const std::uint64_t before = platform::FolderListingsRead();
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(WriteThroughTemporary("C:\\GAMES\\EXAMPLE\\DATA\\NEW" + std::to_string(i) + ".DAT")) << i;
  }
  const std::uint64_t reads = platform::FolderListingsRead() - before;
  EXPECT_LE(reads, 10u) << "without the tables each new file reads its folders again";
  const std::string data = (root / "drive_c" / "Games" / "Example" / "Data").string();
  EXPECT_EQ(std::distance(fs::directory_iterator(data), fs::directory_iterator()), kFiles);
  EXPECT_TRUE(fs::exists(data + "/NEW1999.DAT")) << "new names keep the spelling given";
  ExpectSameAsDisk(data, {"new0.dat", "NEW1999.dat", "new1999.dat.tmp", "new2000.dat"}, "the new files");
  // Deleted through the file system, and one renamed twice: the answers follow at once.
  for (int i = 1000; i < 1100; ++i) {
    const std::string name = "c:\\games\\example\\data\\new" + std::to_string(i) + ".dat";
    ASSERT_TRUE(platform::CurrentFileSystem()->Delete(name.c_str())) << name;
  }
  ASSERT_TRUE(platform::CurrentFileSystem()->RenameReplacing("C:\\Games\\Example\\Data\\NEW1100.DAT",
                                                             "C:\\Games\\Example\\Data\\New1100.dat.old"));
  ASSERT_TRUE(platform::CurrentFileSystem()->RenameReplacing("C:\\Games\\Example\\Data\\new1100.DAT.OLD",
                                                             "C:\\Games\\Example\\Data\\new1100.dat"));
  // The first rename's name was found in another case by the second; its target is new, spelled as given.
  EXPECT_TRUE(fs::exists(data + "/new1100.dat"));
  EXPECT_FALSE(fs::exists(data + "/New1100.dat.old"));
  EXPECT_FALSE(fs::exists(data + "/NEW1100.DAT"));
  ExpectSameAsDisk(data, {"NEW1000.DAT", "new1099.dat", "NEW1100.DAT", "new1100.dat.old", "NEW1100.DAT.OLD"},
                   "deletes and renames");
  for (int i = 1000; i < 1100; ++i) {
    ASSERT_TRUE(WriteThroughTemporary("C:\\GAMES\\EXAMPLE\\DATA\\NEW" + std::to_string(i) + ".DAT")) << i;
  }

  // Four threads, each creating its own files and asking for the others' in another case.
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 200; ++i) {
        const std::string name = "C:\\Games\\Example\\Data\\T" + std::to_string(t) + "-" + std::to_string(i);
        if (!WriteThroughTemporary(name)) ++failures[t];
        std::string actual;
        const std::string other = "c:\\games\\example\\data\\new" + std::to_string(t * 200 + i) + ".dat";
        if (!platform::CurrentFileSystem()->ActualName(other.c_str(), &actual) ||
            actual != "NEW" + std::to_string(t * 200 + i) + ".DAT") {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  EXPECT_EQ(std::distance(fs::directory_iterator(data), fs::directory_iterator()), kFiles + 800);
  ExpectSameAsDisk(data, {"t0-0", "T3-199", "t3-199.TMP", "new5.DAT"}, "the threads' files");
}

}  // namespace
