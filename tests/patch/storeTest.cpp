#include "patch/patchStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "patch/entryNames.h"
#include "support/faultInjectingFileSystem.h"
#include "support/memoryEntrySource.h"
#include "support/tempFolder.h"
#include "ui/scriptedInterface.h"
#include "support/currentRunMessages.h"

namespace {

std::vector<std::string> Names(const DynArray<RefString>& names) {
  std::vector<std::string> result;
  for (int i = 0; i < names.Size(); ++i) result.push_back(names[i].Data());
  return result;
}

std::vector<std::string> Select(std::vector<std::string> entries, std::vector<std::string> distributions,
                                bool ignoreAction) {
  DynArray<RefString> names;
  for (const std::string& entry : entries) names.Add(RefString(entry.c_str()));
  patch::SelectForDistribution(names, distributions, ignoreAction);
  return Names(names);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

TEST(CollectEntries, TakesTheGroupsNamesInStoreOrderWhateverTheCase) {
  MemoryEntrySource store;
  store.Add("1.05-1.06\\DATA\\MAP.PAK.UPD", "x");
  store.Add("1.05-1.06\\README.TXT.NEW", "x");
  store.Add("1.06-1.08\\DATA\\MAP.PAK.UPD", "x");
  store.Add("ALL\\DATA\\X.PAK", "x");
  patch::PatchJob job;
  job.store = &store;
  job.prefix = "1.05-";
  patch::CollectEntries(job);
  EXPECT_EQ(Names(job.names), (std::vector<std::string>{"1.05-1.06\\DATA\\MAP.PAK.UPD", "1.05-1.06\\README.TXT.NEW"}));
  EXPECT_TRUE(job.applied);

  job.names.Clear();
  job.applied = false;
  job.prefix = "all\\";
  patch::CollectEntries(job);
  EXPECT_EQ(Names(job.names), std::vector<std::string>{"ALL\\DATA\\X.PAK"});

  job.names.Clear();
  job.applied = false;
  job.prefix = "Add\\";
  patch::CollectEntries(job);
  EXPECT_EQ(job.names.Size(), 0);
  EXPECT_FALSE(job.applied);  // set only when the group has entries
}

TEST(CollectEntries, RefusesNamesThatWouldLeaveTheirFolder) {
  MemoryEntrySource store;
  for (const char* name : {"ALL\\..\\EVIL.DLL", "ALL\\DATA\\..\\..\\EVIL.DLL", "ALL\\C:\\WINDOWS\\EVIL.DLL",
                           "ALL\\\\EVIL.DLL", "ALL\\DATA\\\\X.PAK", "ALL\\", "ALL\\. .\\EVIL.DLL", "ALL\\DATA\\..",
                           "ALL\\FILE.TXT:STREAM", "ALL\\NEW\nLINE.PAK", "ALL\\../EVIL.DLL.#USA", "ALL\\DATA\\GOOD.PAK.#USA"}) {
    store.Add(name, "x");
  }
  patch::PatchJob job;
  job.store = &store;
  job.prefix = "ALL\\";
  patch::CollectEntries(job);
  EXPECT_EQ(Names(job.names), std::vector<std::string>{"ALL\\DATA\\GOOD.PAK.#USA"});
  EXPECT_TRUE(patch::IsContainedRelativePath("DATA\\...PAK"));  // dots inside a name are fine
  EXPECT_TRUE(patch::IsContainedRelativePath("..DATA"));
}

TEST(SelectForDistribution, KeepsOneEntryPerFileForTheMostPreferredDistribution) {
  const std::vector<std::string> step = {"1.05-1.06\\X.EQU.#EURO", "1.05-1.06\\X.NEW", "1.05-1.06\\X.UPD.#GERMAN"};
  EXPECT_EQ(Select(step, {"GERMAN", "EURO"}, true), std::vector<std::string>{"1.05-1.06\\X.UPD.#GERMAN"});
  EXPECT_EQ(Select(step, {"USA"}, true), std::vector<std::string>{"1.05-1.06\\X.NEW"});
  EXPECT_EQ(Select(step, {"euro"}, true), std::vector<std::string>{"1.05-1.06\\X.EQU.#EURO"});
  // Only entries for a distribution that is not acceptable: the file drops out of the pass.
  EXPECT_EQ(Select({"1.05-1.06\\Y.UPD.#CZECH", "1.05-1.06\\Z.NEW"}, {"USA"}, true),
            std::vector<std::string>{"1.05-1.06\\Z.NEW"});
  // The tag is spelled as the acceptable list spells it and the name upper-cased.
  EXPECT_EQ(Select({"all\\data\\f.pak.#usa"}, {"Usa"}, false), std::vector<std::string>{"ALL\\DATA\\F.PAK.#USA"});
  // In a whole-file group F.PAK and F.PAK.#USA are one file, F.PAK.SIG another.
  EXPECT_EQ(Select({"ALL\\F.PAK", "ALL\\F.PAK.#USA", "ALL\\F.PAK.SIG"}, {"USA"}, false),
            (std::vector<std::string>{"ALL\\F.PAK.#USA", "ALL\\F.PAK.SIG"}));
  EXPECT_EQ(Select({"ALL\\F.PAK", "ALL\\F.PAK.#USA"}, {}, false), std::vector<std::string>{"ALL\\F.PAK"});
  // Equal ranks: the earlier entry stays; different files keep the order of their first entries.
  EXPECT_EQ(Select({"S\\B.NEW", "S\\A.UPD", "S\\B.UPD", "S\\A.NEW"}, {}, true),
            (std::vector<std::string>{"S\\B.NEW", "S\\A.UPD"}));
  // A file name without an extension, and a drive-like start: the key is the whole name.
  EXPECT_EQ(Select({"S\\README.#GERMAN", "S\\README"}, {"GERMAN"}, false), std::vector<std::string>{"S\\README.#GERMAN"});
}

TEST(SelectForDistribution, TenThousandFilesStayFast) {
  std::vector<std::string> entries;
  for (int i = 0; i < 10000; ++i) {
    entries.push_back("1.05-1.06\\DATA\\F" + std::to_string(i) + ".PAK.UPD.#GERMAN");
    entries.push_back("1.05-1.06\\DATA\\F" + std::to_string(i) + ".PAK.EQU");
  }
  const auto selected = Select(entries, {"GERMAN"}, true);
  ASSERT_EQ(selected.size(), 10000u);
  EXPECT_EQ(selected[42], "1.05-1.06\\DATA\\F42.PAK.UPD.#GERMAN");
}

TEST(StoreEntries, LookUpsUpperCaseTheNameAndTextsCopyTheBytes) {
  MemoryEntrySource store;
  store.Add("ALL\\DATA\\X.PAK", std::string("0123456789", 10));
  store.Add("EMPTY", "");
  ui::ScriptedInterface script;
  patch::EntryRange entry;
  EXPECT_TRUE(patch::FindEntry(store, "all\\data\\x.pak", &entry));
  EXPECT_EQ(entry.size, 10u);
  EXPECT_FALSE(patch::FindEntry(store, "missing", &entry));
  EXPECT_EQ(entry.size, 0u);
  std::string text;
  EXPECT_TRUE(patch::EntryText(store, "All\\Data\\X.pak", &text));
  EXPECT_EQ(text, "0123456789");
  EXPECT_FALSE(patch::EntryText(store, "EMPTY", &text));
  EXPECT_FALSE(patch::EntryText(store, "MISSING", &text));
  EXPECT_TRUE(script.events.empty());  // bytes and texts report nothing of their own
  EXPECT_EQ(patch::EntrySize(store, "all\\data\\x.pak"), 10u);
  EXPECT_EQ(patch::EntrySize(store, "missing\\thing", testsupport::CurrentMessages()), 0u);
  ASSERT_EQ(script.events.size(), 1u);
  EXPECT_EQ(script.events[0].caption, "Error");
  EXPECT_NE(script.events[0].text.find(" resource: MISSING\\THING"), std::string::npos);
}

TEST(ExtractEntry, WritesTheEntryCreatingFoldersAndReplacingAReadOnlyFile) {
  TempFolder folder;
  MemoryEntrySource store;
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  store.Add("ALL\\DATA\\BIG.PAK", big);
  const std::string target = folder.File("sub") + "\\deeper\\big.pak";
  ui::ScriptedInterface script;
  ASSERT_TRUE(patch::ExtractEntry(store, "ALL\\DATA\\BIG.PAK", target.c_str(), nullptr, testsupport::CurrentMessages()));
  const std::string native = (folder.Path() / "sub" / "deeper" / "big.pak").string();
  EXPECT_EQ(ReadFile(native), big);

  store.Add("ALL\\SMALL", "new");
  std::filesystem::permissions(native, std::filesystem::perms::owner_read, std::filesystem::perm_options::replace);
  ASSERT_TRUE(patch::ExtractEntry(store, "all\\small", target.c_str(), nullptr, testsupport::CurrentMessages()));
  EXPECT_EQ(ReadFile(native), "new");
  EXPECT_FALSE(std::filesystem::exists(native + ".tmp"));

  EXPECT_FALSE(patch::ExtractEntry(store, "ALL\\NOTHERE", target.c_str(), nullptr, testsupport::CurrentMessages()));
  ASSERT_EQ(script.events.size(), 1u);
  EXPECT_NE(script.events[0].text.find("resource: ALL\\NOTHERE"), std::string::npos);
  EXPECT_EQ(ReadFile(native), "new");
}

TEST(ExtractEntry, AFullDiskLeavesTheOldFileWholeAndNoTemporaryFile) {
  TempFolder folder;
  MemoryEntrySource store;
  store.Add("ALL\\X.PAK", std::string(2 * 1024 * 1024 + 5, 'n'));
  const std::string target = folder.File("x.pak");
  { std::ofstream(target, std::ios::binary) << "old contents"; }
  ui::ScriptedInterface script;
  {
    FaultInjectingFileSystem faults;
    faults.diskSpace = 1024 * 1024 + 3;  // the second piece stops short
    faults.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::DiskFull);
    EXPECT_FALSE(patch::ExtractEntry(store, "ALL\\X.PAK", target.c_str(), nullptr, testsupport::CurrentMessages()));
  }
  EXPECT_EQ(ReadFile(target), "old contents");
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
  ASSERT_EQ(script.events.size(), 1u);
  EXPECT_EQ(script.events[0].caption, "Error in write");
  const int diskFull = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::DiskFull);
  char expected[64];
  std::snprintf(expected, sizeof expected, "errno = %d (0x%x), ", diskFull, static_cast<unsigned>(diskFull));
  EXPECT_EQ(script.events[0].text, expected + target);

  // A write that fails outright, and a failed close: the same, nothing replaced.
  for (int fault = 0; fault < 2; ++fault) {
    FaultInjectingFileSystem faults;
    if (fault == 0) faults.failWriteAt = 1;
    if (fault == 1) faults.failClose = true;
    EXPECT_FALSE(patch::ExtractEntry(store, "ALL\\X.PAK", target.c_str(), nullptr, testsupport::CurrentMessages())) << fault;
    EXPECT_EQ(ReadFile(target), "old contents");
    EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
  }
}

// A patch file that cannot be read any more half-way through an entry (a removed medium): the old
// file stays whole, no temporary file stays behind, and the box says what failed.
TEST(ExtractEntry, AStoreThatFailsHalfWayLeavesTheOldFileWhole) {
  class FailingStore : public MemoryEntrySource {
   public:
    bool Read(const patch::EntryRange& entry, std::uint64_t offset, void* buffer, std::size_t size,
              std::string* error) override {
      if (offset >= (1u << 20)) {
        *error = "the patch file cannot be read";
        return false;
      }
      return MemoryEntrySource::Read(entry, offset, buffer, size, error);
    }
  } store;
  store.Add("ALL\\X.PAK", std::string(3 * 1024 * 1024, 'n'));
  TempFolder folder;
  const std::string target = folder.File("x.pak");
  { std::ofstream(target, std::ios::binary) << "old contents"; }
  ui::ScriptedInterface script;
  EXPECT_FALSE(patch::ExtractEntry(store, "ALL\\X.PAK", target.c_str(), nullptr, testsupport::CurrentMessages()));
  EXPECT_EQ(ReadFile(target), "old contents");
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
  ASSERT_EQ(script.events.size(), 1u);
  EXPECT_EQ(script.events[0].caption, "Error");
  EXPECT_EQ(script.events[0].text, "the patch file cannot be read resource: ALL\\X.PAK");
}

}  // namespace
