#include "patch/checksumListCache.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "install/uninstallLog.h"
#include "patch/patchStore.h"
#include "patch/stepApplication.h"
#include "patch/verification.h"
#include "pe/nameCase.h"
#include "platform/fileSystem.h"
#include "support/memoryEntrySource.h"
#include "support/stepPatch.h"
#include "support/tempFolder.h"
#include "ui/messages.h"
#include "ui/scriptedInterface.h"
#include "support/currentRunMessages.h"

namespace {

// A store that counts how often each entry is fetched: a list fetched once per pass was parsed once.
class CountingEntrySource : public MemoryEntrySource {
 public:
  bool Find(const char* upperName, patch::EntryRange* entry) override {
    ++fetched[upperName];
    return MemoryEntrySource::Find(upperName, entry);
  }
  std::map<std::string, int> fetched;
};

bool SameRecord(const patch::ChecksumRecord& a, const patch::ChecksumRecord& b) {
  return a.name == b.name && a.rank == b.rank && a.checksums == b.checksums && a.tolerated == b.tolerated;
}

// Lists of every shape a store may carry, hostile ones included.
std::vector<std::string> Lists() {
  return {
      "",
      "DATA\\MAP.PAK 1\nGame.exe 2 3\n+DATA\\OPTIONAL.PAK 4\n",
      // The same file in other spellings and with distribution suffixes: the lowest rank wins, the
      // earlier line on equal ranks.
      "data\\x.pak AAAA\nDATA\\X.PAK.#GERMAN BBBB\nData\\X.Pak.#USA CCCC\n+DATA\\x.PAK DDDD\nDATA\\X.PAK.#german EEEE\n",
      // Names of other scripts, as the publisher tools write them (UTF-8).
      "Docs\\\xC5\x99" "e\xC4\x8D.txt 10\nDOCS\\\xC5\x98" "E\xC4\x8C.TXT 11\n\xC3\x9C" "bersicht.pak 12\n"
      "stra\xC3\x9F" "e.pak 13\n",
      // Malformed: lines without blanks, empty names, a missing checksum, no digits, a NUL byte, a
      // carriage return, a line past the length limit, text after the last line feed.
      std::string("NOBLANK\n 12\n+ 13\nA.PAK \nB.PAK zz\nC.PAK 0x\nD\0E.PAK 5\nF.PAK 6\r\n", 60) +
          std::string(1500, 'L') + " 7\nG.PAK.# 8\nH.PAK.#TAG.#TAG 9\n++I.PAK 1\nJ.PAK 2",
      // Bytes that are not UTF-8, and a name that is only a suffix.
      "\xFF\xFE.PAK 1\n\xC3.PAK 2\n.#GERMAN 3\n\\ 4\n",
  };
}

// Whether `text` is well-formed UTF-8 (lead bytes followed by their continuation bytes).
[[maybe_unused]] bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// The names a verification may ask for: each line's name as written, in other cases, with a suffix,
// and names no line has.
std::vector<std::string> Filters(const std::string& list) {
  std::vector<std::string> filters = {"ABSENT.PAK", "DATA\\", "X.PAK"};
  for (std::size_t start = 0, end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string name = list.substr(start, list.find(' ', start) < end ? list.find(' ', start) - start : 0);
    if (!name.empty() && name[0] == '+') name.erase(0, 1);
    if (name.empty()) continue;
#ifdef _WIN32
    // On Windows a name that is not UTF-8 is read in the code page: the entry names it is compared
    // with are UTF-8, so its raw bytes are no name a verification can ask for there.
    if (!IsUtf8(name)) continue;
#endif
    filters.push_back(name);
    filters.push_back(pe::UpperName(name));
    std::string lower = name;
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    filters.push_back(lower);
    filters.push_back(name + ".#GERMAN");
  }
  return filters;
}

TEST(ChecksumListCache, EveryLookUpGivesTheRecordTheListReadForThatFileGives) {
  const std::vector<std::vector<std::string>> distributionLists = {{}, {"GERMAN"}, {"usa", "GERMAN"}, {"FRENCH"}};
  int compared = 0, found = 0;
  for (const std::string& list : Lists()) {
    CountingEntrySource store;
    store.Add("CRC\\1.05\\CRC.CRC", list);
    patch::ChecksumListCache cache;
    for (const auto& distributions : distributionLists) {
      std::string listName;
      const std::vector<patch::ChecksumRecord>* all = cache.Records(store, 1, 5, distributions, &listName);
      EXPECT_EQ(listName, "crc\\1.05\\crc.crc");
      // An empty entry is no list, as a verification that reads it takes it.
      ASSERT_EQ(all == nullptr, list.empty());
      if (!all) continue;
      const std::vector<patch::ChecksumRecord> whole = patch::ParseChecksumList(list, "", distributions);
      ASSERT_EQ(all->size(), whole.size());
      for (std::size_t i = 0; i < whole.size(); ++i) EXPECT_TRUE(SameRecord((*all)[i], whole[i])) << whole[i].name;
      for (const std::string& filter : Filters(list)) {
        const std::vector<patch::ChecksumRecord> read = patch::ParseChecksumList(list, filter, distributions);
        const patch::ChecksumRecord* record = cache.Find(store, 1, 5, distributions, filter, &listName);
        ASSERT_LE(read.size(), 1u) << filter;
        ASSERT_EQ(record != nullptr, read.size() == 1) << "filter " << filter << " in list " << list;
        if (record) {
          EXPECT_TRUE(SameRecord(*record, read[0])) << filter;
        }
        ++compared;
        found += record != nullptr;
      }
    }
    // However many look-ups, the list was fetched (and parsed) once for each set of distributions.
    EXPECT_EQ(store.fetched["CRC\\1.05\\CRC.CRC"], static_cast<int>(distributionLists.size()));
  }
  EXPECT_GT(found, 50);
  EXPECT_GT(compared, found);
  // The store without the version's list.
  MemoryEntrySource empty;
  patch::ChecksumListCache cache;
  std::string listName;
  EXPECT_EQ(cache.Records(empty, 1, 6, {}, &listName), nullptr);
  EXPECT_EQ(cache.Find(empty, 1, 6, {}, "GAME.EXE", &listName), nullptr);
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// The outcome of verifying one file, as the log and the questions show it.
struct Outcome {
  int result;
  std::vector<std::string> log;
  std::vector<std::string> questions;
  bool operator==(const Outcome& other) const {
    return result == other.result && log == other.log && questions == other.questions;
  }
};

TEST(ChecksumListCache, AVerificationWithTheRunsListsEndsAsOneThatReadsTheListItself) {
  ui::SetMessageLanguage(1033);
  TempFolder folder;
  const auto write = [&](const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = folder.Path() / std::filesystem::u8path(name);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  };
  write("Data/Map.pak", "map");
  write("Data/Bad.pak", "damaged");
  write("Docs/\xC5\x99" "e\xC4\x8D.txt", "notes");
  const std::string map = Hex(Crc32Of("map", 3));
  const std::string notes = Hex(Crc32Of("notes", 5));
  CountingEntrySource store;
  store.Add("CRC\\1.05\\CRC.CRC", "DATA\\MAP.PAK " + map + "\nDATA\\BAD.PAK 1234\nDATA\\GONE.PAK 1\n+DATA\\OPT.PAK 2\n" +
                                      "DOCS\\\xC5\x98" "E\xC4\x8C.TXT " + notes + "\ndata\\map.pak 99\n" +
                                      "DATA\\MAP.PAK.#GERMAN 0\n");
  store.Add("CRC\\1.06\\CRC.CRC", std::string(3000, 'x') + " 1\n\xFF\n\n");
  const std::vector<std::string> files = {"data\\map.pak", "DATA\\BAD.PAK", "Data\\Gone.pak", "data\\opt.pak",
                                          "Docs\\\xC5\x99" "e\xC4\x8D.txt", "docs\\\xC5\x99" "E\xC4\x8D.TXT",
                                          "DATA\\MAP.PAK.#GERMAN", "Other.pak"};
  std::vector<Outcome> withLists, withoutLists;
  patch::ChecksumListCache runLists;
  for (bool useRunLists : {true, false}) {
    for (int minor : {5, 6}) {
      for (const std::string& file : files) {
        ui::ScriptedInterface script;
        script.abortRetryIgnoreAnswers = {ui::kIgnore};
        patch::PatchJob job = testsupport::JobAsInRun();
        job.store = &store;
        job.destination = (folder.Path().string() + "/").c_str();
        job.sourceMajor = 1;
        job.sourceMinor = minor;
        job.lists = useRunLists ? &runLists : nullptr;
        Outcome outcome{patch::VerifyInstallation(job, file, {"GERMAN"}, true, true),
                        script.Texts(ui::ScriptedInterface::EventKind::Log),
                        script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore)};
        (useRunLists ? withLists : withoutLists).push_back(outcome);
      }
    }
  }
  EXPECT_EQ(withLists, withoutLists);
  ASSERT_EQ(withLists.size(), 2 * files.size());
  // The German line wins for Map.pak: its checksum 0 differs, and Ignore goes on.
  EXPECT_EQ(withLists[0].result, patch::kVerified);
  EXPECT_EQ(withLists[0].log, (std::vector<std::string>{"Error found in file DATA\\MAP.PAK (00000000!=" + map + ")"}));
  EXPECT_EQ(withLists[1].log.size(), 1u);  // damaged, ignored
  EXPECT_EQ(withLists[2].result, patch::kVerifyFailed);
  EXPECT_EQ(withLists[2].log, (std::vector<std::string>{"File DATA\\GONE.PAK is missing."}));
  EXPECT_EQ(withLists[3].result, patch::kVerified);  // tolerated and missing
  EXPECT_TRUE(withLists[3].log.empty());
  // The file of another script is found by either spelling of its name.
  EXPECT_EQ(withLists[4], (Outcome{patch::kVerified, {}, {}}));
  EXPECT_EQ(withLists[5], (Outcome{patch::kVerified, {}, {}}));
  EXPECT_EQ(withLists[6], withLists[0]);  // the suffix of the entry's name does not count
  EXPECT_EQ(withLists[7], (Outcome{patch::kVerified, {}, {}}));  // a file the list does not name
  // The hostile list of 1.06 names no file: nothing to check.
  for (std::size_t i = files.size(); i < withLists.size(); ++i) EXPECT_EQ(withLists[i], (Outcome{patch::kVerified, {}, {}}));
  // The run's lists fetched each list once for all its verifications.
  EXPECT_EQ(store.fetched["CRC\\1.05\\CRC.CRC"], 1 + static_cast<int>(files.size()));
  ui::SetMessageLanguage(0);
}

TEST(ChecksumListCache, AStepWithoutTheRunsListsStillReadsEachListOnce) {
  ui::SetMessageLanguage(1033);
  ui::ScriptedInterface script;
  testsupport::UninstallList().Clear();
  TempFolder folder, logFolder;
  std::string startFolder;
  platform::CurrentFileSystem()->CurrentFolder(&startFolder);
  platform::CurrentFileSystem()->SetCurrentFolder(logFolder.Path().string().c_str());
  steppatch::Tree before, after;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "DATA\\FILE" + std::to_string(i) + ".PAK";
    before[name] = "old content " + std::to_string(i);
    if (i % 3 == 0) after[name] = "new content of file " + std::to_string(i);
    if (i % 3 == 1) after[name] = before[name];
  }
  after["DATA\\ADDED.PAK"] = "added";
  ASSERT_TRUE(steppatch::WriteTree(folder.Path(), before));
  CountingEntrySource store;
  steppatch::AddStep(store, 1, 5, 6, before, after);
  patch::PatchJob job;
  job.store = &store;
  job.destination = (folder.Path().string() + "/").c_str();
  job.prefix = "1.05-";
  job.sourceMajor = job.targetMajor = 1;
  job.sourceMinor = 5;
  job.targetMinor = 6;
  patch::CollectEntries(job);
  EXPECT_TRUE(patch::ApplyStep(job)) << job.failedFile.Data();
  EXPECT_EQ(job.lists, nullptr);  // the pass's own lists are gone with it
  EXPECT_EQ(store.fetched["CRC\\1.06\\CRC.CRC"], 1);
  std::string failed;
  EXPECT_TRUE(patch::VerifyReachedVersion(job, {}, &failed)) << failed;
  platform::CurrentFileSystem()->SetCurrentFolder(startFolder.c_str());
  ui::SetMessageLanguage(0);
}

}  // namespace
