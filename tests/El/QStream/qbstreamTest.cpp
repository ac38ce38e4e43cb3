// Data banks: the file layout written by BankWriter and read by QFBank, damaged and hostile headers,
// packed entries, the decoder registry, and the overlay of banks over the disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "El/QStream/bankWriter.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"
#include "support/captureDiagnostics.h"
#include "support/tempFolder.h"

namespace {

std::string Compressible(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "class Weapon { damage = 12; range = 300; } ";
  text.resize(size);
  return text;
}

std::string Random(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

std::string BankBytes(const BankWriter& writer) {
  QOStrStream out;
  writer.Write(out);
  return std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
}

Ref<IFileBuffer> Memory(const std::string& bytes) {
  return Ref<IFileBuffer>(new FileBufferMemory(bytes.data(), static_cast<std::int64_t>(bytes.size())));
}

std::string ReadAll(const Ref<IFileBuffer>& source) {
  if (!source) return "<none>";
  QIStreamDataSource in;
  in.AttachSource(source);
  std::string bytes(static_cast<std::size_t>(in.GetDataSize()), '\0');
  if (!bytes.empty()) bytes.resize(static_cast<std::size_t>(in.read(&bytes[0], static_cast<int>(bytes.size()))));
  return bytes;
}

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream file(name, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Appends a raw entry header.
void PutHeader(std::string& bank, const std::string& name, std::uint32_t packing, std::uint32_t unpacked,
               std::uint32_t time, std::uint32_t size) {
  bank += name;
  bank += '\0';
  for (std::uint32_t value : {packing, unpacked, 0u, time, size}) {
    for (int i = 0; i < 4; ++i) bank += static_cast<char>(value >> (8 * i));
  }
}

// A decoder for tests: every byte XOR 0x5A.
class XorDecoder : public IBankDecoder {
 public:
  bool Decode(void* destination, std::int64_t size, QIStream& source) override {
    auto* out = static_cast<char*>(destination);
    for (std::int64_t i = 0; i < size; ++i) {
      const int c = source.get();
      if (c < 0) return false;
      out[i] = static_cast<char>(c ^ 0x5A);
    }
    return true;
  }
};

std::string Xor(std::string bytes) {
  for (char& c : bytes) c = static_cast<char>(c ^ 0x5A);
  return bytes;
}

class BankFile : public ::testing::Test {
 protected:
  CaptureDiagnostics diagnostics;
  QFBank bank;
};

}  // namespace

// ---- the layout, round trips -----------------------------------------------------------------------------

TEST_F(BankFile, StoredAndPackedEntriesReadBackByteForByte) {
  const std::string text = Compressible(50000), noise = Random(3000, 1);
  BankWriter writer;
  writer.SetProperty("prefix", "data");
  writer.SetProperty("Author", "maker");
  ASSERT_TRUE(writer.AddData("config/main.cpp", text.data(), text.size(), 1000, true));
  ASSERT_TRUE(writer.AddData("noise.bin", noise.data(), noise.size(), 2000, true));  // packing would not help
  ASSERT_TRUE(writer.AddData("empty.txt", "", 0, 3000, true));
  ASSERT_TRUE(bank.OpenSource(Memory(BankBytes(writer)), "test.pbo"));

  EXPECT_STREQ(bank.GetPrefix(), "data\\");
  EXPECT_STREQ(bank.GetProperty("author"), "maker");
  EXPECT_EQ(bank.GetProperty("prefix"), nullptr);
  ASSERT_TRUE(bank.LoadHeader());
  EXPECT_EQ(bank.EntryCount(), 3);
  const BankEntry* packed = bank.FindEntry("config\\main.cpp");
  ASSERT_NE(packed, nullptr);
  EXPECT_EQ(packed->packing, BankPackingCompressed);
  EXPECT_EQ(packed->unpackedSize, text.size());
  EXPECT_LT(packed->dataSize, text.size() / 4);
  EXPECT_EQ(packed->time, 1000u);
  EXPECT_EQ(bank.FindEntry("noise.bin")->packing, BankPackingStored);
  EXPECT_EQ(ReadAll(bank.OpenEntry("config/main.cpp")), text);
  EXPECT_EQ(ReadAll(bank.OpenEntry("NOISE.BIN")), noise);
  EXPECT_EQ(ReadAll(bank.OpenEntry("empty.txt")), "");
  EXPECT_EQ(ReadAll(bank.OpenEntry("config/main.cpp", 100, 50)), text.substr(100, 50));
  EXPECT_EQ(ReadAll(bank.OpenEntry("noise.bin", 2990, 100)), noise.substr(2990));
  EXPECT_EQ(ReadAll(bank.OpenEntry("noise.bin", 5000, 10)), "");
  EXPECT_FALSE(bank.OpenEntry("missing.txt"));
  EXPECT_TRUE(diagnostics.lines.empty() || !diagnostics.Contains("rror"));
}

TEST_F(BankFile, WrittenLayoutIsByteExact) {
  BankWriter writer;
  writer.AddData("a/B", "xy", 2, 7, false);
  std::string expected;
  PutHeader(expected, "a\\B", 0, 2, 7, 2);
  PutHeader(expected, "", 0, 0, 0, 0);
  expected += "xy";
  EXPECT_EQ(BankBytes(writer), expected);
}

TEST_F(BankFile, OneNameIsAddedOnce) {
  // "a/b.txt" and "A\\B.TXT" are one entry for the bank's look-ups: the second is refused, not packed.
  BankWriter writer;
  CaptureDiagnostics diagnostics;
  EXPECT_TRUE(writer.AddData("a/b.txt", "1", 1, 0, false));
  EXPECT_FALSE(writer.AddData("A\\B.TXT", "2", 1, 0, false));
  EXPECT_TRUE(diagnostics.Contains("Bank entry 'A\\B.TXT' is given twice"));
  EXPECT_EQ(writer.EntryCount(), 1);
}

TEST_F(BankFile, DataOffsetsFollowTheHeaderInOrder) {
  BankWriter writer;
  writer.AddData("one", "1111", 4, 0, false);
  writer.AddData("two", "22", 2, 0, false);
  writer.AddData("three", "333", 3, 0, false);
  const std::string bytes = BankBytes(writer);
  ASSERT_TRUE(bank.OpenSource(Memory(bytes), "t.pbo"));
  ASSERT_TRUE(bank.LoadHeader());
  const std::int64_t end = static_cast<std::int64_t>(bytes.size()) - 9;
  EXPECT_EQ(bank.HeaderEnd(), end);
  EXPECT_EQ(bank.FindEntry("one")->offset, end);
  EXPECT_EQ(bank.FindEntry("two")->offset, end + 4);
  EXPECT_EQ(bank.FindEntry("three")->offset, end + 6);
  EXPECT_STREQ(bank.EntriesInRange(end + 5, end + 7), "two,three");
  EXPECT_STREQ(bank.EntriesInRange(0, end), "");
}

TEST_F(BankFile, ManyEntriesAreAllFound) {
  BankWriter writer;
  for (int i = 0; i < 700; ++i) {
    const std::string name = "dir" + std::to_string(i % 7) + "/File" + std::to_string(i) + ".txt";
    writer.AddData(name.c_str(), name.data(), name.size(), 0, false);
  }
  ASSERT_TRUE(bank.OpenSource(Memory(BankBytes(writer)), "t.pbo"));
  int visited = 0;
  bank.ForEachEntry([](const BankEntry&, void* count) { ++*static_cast<int*>(count); }, &visited);
  EXPECT_EQ(visited, 700);
  for (int i = 0; i < 700; i += 37) {
    const std::string name = "DIR" + std::to_string(i % 7) + "\\file" + std::to_string(i) + ".TXT";
    EXPECT_EQ(ReadAll(bank.OpenEntry(name.c_str())).size(), name.size()) << name;
  }
}

// ---- damaged and hostile headers ---------------------------------------------------------------------------

TEST_F(BankFile, EveryTruncatedHeaderFailsCleanly) {
  BankWriter writer;
  writer.SetProperty("prefix", "p");
  writer.AddData("first.txt", "abc", 3, 0, false);
  writer.AddData("second.txt", "defg", 4, 0, false);
  const std::string bytes = BankBytes(writer);
  const std::size_t headerEnd = bytes.size() - 7;
  for (std::size_t cut = 0; cut < headerEnd; ++cut) {
    QFBank truncated;
    truncated.OpenSource(Memory(bytes.substr(0, cut)), "cut.pbo");
    EXPECT_FALSE(truncated.LoadHeader()) << cut;
    EXPECT_TRUE(truncated.IsFailed()) << cut;
    EXPECT_FALSE(truncated.OpenEntry("first.txt")) << cut;
  }
  EXPECT_TRUE(diagnostics.Contains("Damaged bank header 'cut.pbo'."));
}

TEST_F(BankFile, DataShorterThanTheHeaderSaysIsReportedAndReadsShort) {
  BankWriter writer;
  writer.AddData("a.bin", "0123456789", 10, 0, false);
  const std::string bytes = BankBytes(writer);
  ASSERT_TRUE(bank.OpenSource(Memory(bytes.substr(0, bytes.size() - 4)), "short.pbo"));
  EXPECT_TRUE(bank.LoadHeader());
  EXPECT_TRUE(diagnostics.Contains("Data file too short 'short.pbo'."));
  EXPECT_EQ(ReadAll(bank.OpenEntry("a.bin")), "012345");
}

TEST_F(BankFile, NameWithoutTerminatorWithinTheLimitIsRefused) {
  std::string bytes(kBankMaxName + 1, 'n');
  bytes += '\0';
  bytes += std::string(20, '\0');
  bank.OpenSource(Memory(bytes), "long.pbo");
  EXPECT_FALSE(bank.LoadHeader());
  std::string fits(kBankMaxName, 'n');
  std::string good;
  PutHeader(good, fits, 0, 0, 0, 0);
  PutHeader(good, "", 0, 0, 0, 0);
  QFBank longest;
  longest.OpenSource(Memory(good), "fits.pbo");
  EXPECT_TRUE(longest.LoadHeader());
  EXPECT_NE(longest.FindEntry(fits.c_str()), nullptr);
}

TEST_F(BankFile, PackedEntryPastTheEndIsAReadError) {
  std::string bytes;
  PutHeader(bytes, "big", BankPackingCompressed, 100, 0, 0xFFFFFF00u);
  PutHeader(bytes, "", 0, 0, 0, 0);
  bytes += "tiny";
  bank.OpenSource(Memory(bytes), "past.pbo");
  EXPECT_FALSE(bank.OpenEntry("big"));
  EXPECT_TRUE(diagnostics.Contains("Data file read error (big, past.pbo)."));
}

TEST_F(BankFile, AbsurdUnpackedSizeIsRefusedBeforeAllocating) {
  std::string bytes;
  bank.SetPrefix("x");
  PutHeader(bytes, "bomb", BankPackingCompressed, 0xFFFFFFF0u, 0, 4);
  PutHeader(bytes, "", 0, 0, 0, 0);
  bytes += "\xFF" "abc";
  bank.OpenSource(Memory(bytes), "bomb.pbo");
  EXPECT_FALSE(bank.OpenEntry("bomb"));
  EXPECT_TRUE(diagnostics.Contains("Error decoding bomb from x\\"));
}

TEST_F(BankFile, CorruptedPackedDataFailsToDecode) {
  const std::string text = Compressible(5000);
  BankWriter writer;
  writer.AddData("t.txt", text.data(), text.size(), 0, true);
  std::string bytes = BankBytes(writer);
  bytes[bytes.size() - 2] ^= 0x40;  // inside the checksum
  bank.OpenSource(Memory(bytes), "bad.pbo");
  EXPECT_FALSE(bank.OpenEntry("t.txt"));
  EXPECT_TRUE(diagnostics.Contains("Error decoding t.txt from "));
}

TEST_F(BankFile, UnknownPackingIsReported) {
  std::string bytes;
  PutHeader(bytes, "odd", 0x12345678, 4, 0, 4);
  PutHeader(bytes, "", 0, 0, 0, 0);
  bytes += "abcd";
  bank.OpenSource(Memory(bytes), "odd.pbo");
  EXPECT_FALSE(bank.OpenEntry("odd"));
  EXPECT_TRUE(diagnostics.Contains("Unknown compression manager"));
}

TEST_F(BankFile, SingleByteCorruptionsNeverCrash) {
  const std::string text = Compressible(2000);
  BankWriter writer;
  writer.SetProperty("prefix", "p");
  writer.AddData("a.txt", text.data(), text.size(), 0, true);
  writer.AddData("b.txt", "bbbb", 4, 0, false);
  const std::string bytes = BankBytes(writer);
  for (std::size_t i = 0; i < bytes.size(); i += bytes.size() > 400 ? 3 : 1) {
    std::string damaged = bytes;
    damaged[i] = static_cast<char>(damaged[i] ^ 0xA5);
    QFBank other;
    other.OpenSource(Memory(damaged), "d.pbo");
    other.ForEachEntry([](const BankEntry&, void*) {}, nullptr);
    ReadAll(other.OpenEntry("a.txt"));
    ReadAll(other.OpenEntry("b.txt"));
  }
  SUCCEED();
}

// ---- decoders -------------------------------------------------------------------------------------------------

TEST_F(BankFile, DecoderRegistryKeepsTheFirstAndReportsUnknownNames) {
  auto factory = []() -> IBankDecoder* { return new XorDecoder; };
  ASSERT_TRUE(RegisterBankDecoder("xor-test", factory));
  EXPECT_FALSE(RegisterBankDecoder("xor-test", factory));
  EXPECT_TRUE(diagnostics.Contains("Ecryption xor-test already registered"));
  EXPECT_TRUE(CreateBankDecoder("xor-test"));
  EXPECT_FALSE(CreateBankDecoder("rot-none"));
  EXPECT_TRUE(diagnostics.Contains("Unknown encryption rot-none"));
  EXPECT_TRUE(UnregisterBankDecoder("xor-test"));
}

TEST_F(BankFile, EncodedHeaderAndEntriesGoThroughTheNamedDecoder) {
  ASSERT_TRUE(RegisterBankDecoder("xor-test", []() -> IBankDecoder* { return new XorDecoder; }));
  std::string list;
  PutHeader(list, "secret.txt", BankPackingEncoded, 6, 0, 6);
  PutHeader(list, "plain.txt", 0, 0, 0, 5);
  PutHeader(list, "", 0, 0, 0, 0);
  std::string bytes;
  PutHeader(bytes, "", BankPackingProduct, 0, 0, 0);
  bytes += std::string("encryption\0xor-test\0\0", 21);
  for (std::uint32_t value : {static_cast<std::uint32_t>(list.size()), static_cast<std::uint32_t>(list.size())}) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
  }
  bytes += Xor(list);
  bytes += Xor("hidden") + "hello";
  bank.OpenSource(Memory(bytes), "enc.pbo");
  EXPECT_EQ(ReadAll(bank.OpenEntry("secret.txt")), "hidden");
  EXPECT_EQ(ReadAll(bank.OpenEntry("plain.txt")), "hello");
  UnregisterBankDecoder("xor-test");

  QFBank unknown;
  unknown.OpenSource(Memory(bytes), "enc.pbo");
  EXPECT_FALSE(unknown.LoadHeader());
  EXPECT_TRUE(diagnostics.Contains("Unknown encryption xor-test"));
}

// ---- the overlay ---------------------------------------------------------------------------------------------

namespace {

class BankOverlay : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
  }
  void TearDown() override {
    RemoveAllBanks();
    EnableBanks(false);
    SetLogFilesUsed(false);
    std::filesystem::current_path(previous_);
  }

  void MakeBank(const std::string& name, const char* prefix, const std::string& entry, const std::string& data) {
    BankWriter writer;
    if (prefix) writer.SetProperty("prefix", prefix);
    writer.AddData(entry.c_str(), data.data(), data.size(), 4242, true);
    ASSERT_TRUE(writer.Write(folder.File(name + ".pbo").c_str()));
  }

  std::string AutoRead(const char* path) {
    QIFStream in;
    in.AutoOpen(path);
    std::string bytes(static_cast<std::size_t>(in.GetDataSize()), '\0');
    if (!bytes.empty()) in.read(&bytes[0], static_cast<int>(bytes.size()));
    return in.fail() ? "<failed>" : bytes;
  }

  TempFolder folder;
  CaptureDiagnostics diagnostics;
  std::filesystem::path previous_;
};

}  // namespace

TEST_F(BankOverlay, SwitchedOffEverythingGoesToTheDisk) {
  MakeBank("data", nullptr, "x.txt", "from bank");
  ASSERT_NE(LoadBank("", "", "data"), nullptr);
  EXPECT_EQ(AutoRead("data\\x.txt"), "<failed>");
  EXPECT_FALSE(BankFileExists("data\\x.txt"));
  EXPECT_EQ(BankFileSize("data\\x.txt"), 0);
  EnableBanks(true);
  EXPECT_EQ(AutoRead("data\\x.txt"), "from bank");
  EXPECT_EQ(AutoRead("DATA/X.TXT"), "<failed>");  // the prefix is matched as written: '\\'
  EXPECT_TRUE(BankFileExists("Data\\X.txt"));
  EXPECT_EQ(BankFileSize("data\\x.txt"), 9);
  EXPECT_EQ(BankFileTime("data\\x.txt"), 4242);
}

TEST_F(BankOverlay, PrefixComesFromThePropertyElseFromTheName) {
  MakeBank("first", "game\\maps", "m.txt", "map");
  MakeBank("second", nullptr, "s.txt", "sss");
  QFBank* first = LoadBank("", "base\\", "first");
  QFBank* second = LoadBank("", "base\\", "second");
  QFBank* third = LoadBank("", "base\\", "second", true);
  ASSERT_TRUE(first && second && third);
  EXPECT_STREQ(first->GetPrefix(), "game\\maps\\");
  EXPECT_STREQ(second->GetPrefix(), "base\\second\\");
  EXPECT_STREQ(third->GetPrefix(), "second\\");
  EXPECT_EQ(LoadBank("", "", "absent"), nullptr);
  EXPECT_TRUE(diagnostics.Contains("Cannot open file 'absent.pbo'"));
  EXPECT_TRUE(RemoveBank("base\\", "second"));
  EXPECT_EQ(BankCount(), 2);
}

TEST_F(BankOverlay, TheLongestPrefixWinsAndDrivesAreNeverBanks) {
  MakeBank("outer", "game", "maps\\m.txt", "outer");
  MakeBank("inner", "game\\maps", "m.txt", "inner");
  ASSERT_NE(LoadBank("", "", "outer"), nullptr);
  ASSERT_NE(LoadBank("", "", "inner"), nullptr);
  EnableBanks(true);
  const char* rest = nullptr;
  EXPECT_STREQ(FindBank("GAME\\Maps\\m.txt", &rest)->GetPrefix(), "game\\maps\\");
  EXPECT_STREQ(rest, "m.txt");
  EXPECT_EQ(AutoRead("game\\maps\\m.txt"), "inner");
  EXPECT_EQ(FindBank("C:\\game\\maps\\m.txt", &rest), nullptr);
  EXPECT_EQ(FindBank("", &rest), nullptr);
}

TEST_F(BankOverlay, NameMissingFromTheBankFallsBackToTheDisk) {
  MakeBank("data", nullptr, "x.txt", "in bank");
  std::filesystem::create_directory(folder.Path() / "data");
  WriteFile(folder.File("data/y.txt"), "on disk");
  ASSERT_NE(LoadBank("", "", "data"), nullptr);
  EnableBanks(true);
  EXPECT_EQ(AutoRead("data\\y.txt"), "on disk");
  EXPECT_TRUE(diagnostics.Contains("File data\\y.txt not in bank"));
  EXPECT_TRUE(BankFileExists("data\\y.txt"));
}

TEST_F(BankOverlay, DiskFileUnderThePrefixOverridesTheEntry) {
  MakeBank("data", nullptr, "sub\\x.txt", "in bank");
  std::filesystem::create_directories(folder.Path() / "data" / "sub");
  WriteFile(folder.File("data/sub/x.txt"), "plain file");
  ASSERT_NE(LoadBank("", "", "data"), nullptr);
  EnableBanks(true);
  EXPECT_EQ(AutoRead("data\\sub\\x.txt"), "plain file");
  EXPECT_TRUE(diagnostics.Contains("Plain file version of sub\\x.txt used"));
  EXPECT_EQ(BankFileSize("data\\sub\\x.txt"), 10);
}

TEST_F(BankOverlay, LockableBanksLoadOnlyWhenLocked) {
  MakeBank("data", nullptr, "x.txt", "locked");
  ASSERT_NE(LoadBank("", "", "data"), nullptr);
  EXPECT_TRUE(MakeBankLockable("data\\", true));
  EnableBanks(true);
  EXPECT_EQ(AutoRead("data\\x.txt"), "<failed>");
  EXPECT_TRUE(diagnostics.Contains("Cannot open bank data.pbo that is not locked"));
  EXPECT_TRUE(LockBank("data\\"));
  EXPECT_EQ(AutoRead("data\\x.txt"), "locked");
  EXPECT_FALSE(LockBank("DATA\\"));
  EXPECT_TRUE(diagnostics.Contains("Lock: Bank DATA\\ not found"));
  EXPECT_TRUE(UnlockBank("data\\"));
  EXPECT_FALSE(BankAt(0)->IsHeaderLoaded());
}

TEST_F(BankOverlay, UnloadWaitsForOpenFiles) {
  std::string text = "stored data";
  BankWriter writer;
  writer.AddData("x.txt", text.data(), text.size(), 0, false);
  ASSERT_TRUE(writer.Write(folder.File("data.pbo").c_str()));
  QFBank* bank = LoadBank("", "", "data");
  ASSERT_NE(bank, nullptr);
  EnableBanks(true);
  {
    QIFStream in;
    in.AutoOpen("data\\x.txt");
    EXPECT_EQ(in.GetBank(), bank);
    EXPECT_FALSE(UnloadOneBank());
    EXPECT_FALSE(bank->Unload());
    EXPECT_TRUE(diagnostics.Contains("Cannot unload bank data.pbo, 1 files are still open"));
  }
  EXPECT_TRUE(UnloadOneBank());
  EXPECT_TRUE(diagnostics.Contains("Unloading bank data.pbo"));
  EXPECT_EQ(AutoRead("data\\x.txt"), text);  // the header loads again on demand
}

TEST_F(BankOverlay, AccessChecksRefuseBanks) {
  MakeBank("data", nullptr, "x.txt", "guarded");
  ASSERT_NE(LoadBank("", "", "data"), nullptr);
  EnableBanks(true);
  QFBankFunctions refuseAll;
  struct Refuse : QFBankFunctions {
    bool CanRead(const QFBank&) const override { return false; }
  } refuse;
  EXPECT_TRUE(BankFileExists("data\\x.txt", &refuseAll));
  EXPECT_FALSE(BankFileExists("data\\x.txt", &refuse));
  EXPECT_FALSE(BankFileExists("data\\none.txt", &refuse));
  EXPECT_EQ(diagnostics.Count("FileExist data\\none.txt: access denied"), 1);
  EXPECT_EQ(diagnostics.Count("FileExist data\\x.txt"), 0);
  QIFStream in;
  in.AutoOpen("data\\x.txt");
  EXPECT_FALSE(CheckBankAccess(in, &refuse));
  EXPECT_TRUE(diagnostics.Contains("AutoOpen data\\: access denied"));
  EXPECT_TRUE(CheckBankAccess(in, nullptr));

  MakeBank("other", nullptr, "y.txt", "y");
  EXPECT_EQ(LoadBank("", "", "other", false, nullptr, [](QFBank&, void*) { return false; }), nullptr);
  QFBank* refused = LoadBank("", "", "other", false, [](QFBank&, void*) { return false; });
  ASSERT_NE(refused, nullptr);
  EXPECT_FALSE(refused->LoadHeader());
  EXPECT_TRUE(refused->IsFailed());
}

TEST_F(BankOverlay, UsageLogRecordsEachNameOnce) {
  MakeBank("data", nullptr, "x.txt", "logged");
  SetLogFilesUsed(true);
  ASSERT_NE(LoadBank("", "", "data"), nullptr);
  EnableBanks(true);
  AutoRead("data\\x.txt");
  AutoRead("data\\x.txt");
  RemoveAllBanks();
  ASSERT_NE(LoadBank("", "", "data"), nullptr);  // a second run reads the names back
  AutoRead("data\\x.txt");
  RemoveAllBanks();
  std::ifstream log(folder.File("FilesUsed/data.log"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()), "x.txt\n");
}

TEST_F(BankOverlay, HandlesOpenClippedRegions) {
  MakeBank("data", nullptr, "x.txt", "0123456789");
  ASSERT_NE(LoadBank("", "", "data"), nullptr);
  EnableBanks(true);
  Ref<QFBankPointer> handle = MakeBankPointer("data\\x.txt", 2, 6);
  EXPECT_STREQ(handle->GetPath(), "data\\x.txt");
  QIFStream in;
  handle->Open(in);
  char bytes[16] = {};
  EXPECT_EQ(in.read(bytes, 16), 6);
  EXPECT_STREQ(bytes, "234567");
  Ref<QFBankPointer> sub = handle->SubPointer(4, 100);
  QIFStream tail;
  sub->Open(tail);
  char rest[16] = {};
  EXPECT_EQ(tail.read(rest, 16), 2);
  EXPECT_STREQ(rest, "67");
  QIFStream window;
  handle->OpenWindow(window, 1, 2);
  char two[4] = {};
  EXPECT_EQ(window.read(two, 4), 2);
  EXPECT_STREQ(two, "34");
  EXPECT_TRUE(diagnostics.Contains("Not tested"));
}

// ---- the writer ------------------------------------------------------------------------------------------------

TEST_F(BankFile, WriterRefusesNamesTheReaderCannotHold) {
  BankWriter writer;
  EXPECT_FALSE(writer.AddData("", "x", 1, 0, false));
  EXPECT_FALSE(writer.AddData(std::string(kBankMaxName + 1, 'n').c_str(), "x", 1, 0, false));
  EXPECT_TRUE(writer.AddData(std::string(kBankMaxName, 'n').c_str(), "x", 1, 0, false));
  EXPECT_EQ(writer.EntryCount(), 1);
  EXPECT_TRUE(diagnostics.Contains("is empty or longer than 1022 bytes"));
  EXPECT_FALSE(writer.AddFolder("no/such/folder", false));
  EXPECT_TRUE(diagnostics.Contains("Cannot list folder 'no/such/folder'"));
}

TEST_F(BankFile, FolderPacksUnderRelativeNamesInSortedOrder) {
  TempFolder folder;
  std::filesystem::create_directories(folder.Path() / "b" / "c");
  WriteFile(folder.File("z.txt"), "zz");
  WriteFile(folder.File("b/c/deep.txt"), Compressible(3000));
  WriteFile(folder.File("a.txt"), "a");
  BankWriter writer;
  ASSERT_TRUE(writer.AddFolder(folder.Path().string().c_str(), true));
  ASSERT_TRUE(bank.OpenSource(Memory(BankBytes(writer)), "f.pbo"));
  std::vector<std::string> names;
  bank.ForEachEntry([](const BankEntry& entry, void* list) {
    static_cast<std::vector<std::string>*>(list)->push_back(entry.name.Data());
  }, &names);
  std::sort(names.begin(), names.end());
  const std::vector<std::string> expected = {"a.txt", "b\\c\\deep.txt", "z.txt"};
  EXPECT_EQ(names, expected);
  EXPECT_LT(bank.FindEntry("a.txt")->offset, bank.FindEntry("b\\c\\deep.txt")->offset);
  EXPECT_EQ(bank.FindEntry("b/c/deep.txt")->packing, BankPackingCompressed);
  EXPECT_EQ(ReadAll(bank.OpenEntry("b\\c\\deep.txt")), Compressible(3000));
}
