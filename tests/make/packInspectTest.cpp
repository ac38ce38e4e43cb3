// Packing and inspecting: a patch packed from a payload folder reads back entry by entry through the
// patch store, its slot holds the publisher's key, the signature holds; inspection finds every kind of
// inconsistency, each named by its entry; pack refuses bad input and leaves no output behind.

#include "make/patchInspector.h"
#include "make/patchPacker.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "makeTestSupport.h"
#include "patch/moduleEntrySource.h"
#include "patch/trustedKey.h"
#include "platform/digest.h"
#include "platform/signing.h"
#include "support/memoryEntrySource.h"
#include "support/tempFolder.h"
#include "support/testData.h"

namespace {

using maketest::Write;

bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
  return std::any_of(problems.begin(), problems.end(),
                     [&](const std::string& problem) { return problem.find(text) != std::string::npos; });
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

const char* kManifest =
    "configApp = \"Software\\Corvanth\\Game\";\ndisplayName = \"Corvanth\";\nversion = \"1.06\";\n"
    "appName = \"game.exe\";\nisPatch = 1;\n"
    "class Distributions {\n  class GERMAN { scope = 1; name = \"Deutsch\"; parent = \"\"; };\n};\n"
    "class WhatDistribution {\n  class German { file = \"Data\\\\Local.pak\"; crc = 0x89473587;"
    " distributions[] = {\"GERMAN\"}; };\n};\n";

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const platform::SigningResult result = platform::GenerateSigningKey(2048, &pem_, &publicKey_);
    if (result == platform::SigningResult::NotAvailable) GTEST_SKIP() << "no publisher functions in this build";
    ASSERT_EQ(result, platform::SigningResult::Ok);
    Write(folder_.Path() / "key.pem", pem_);
    Write(folder_.Path() / "manifest.cpp", kManifest);
    Write(folder_.Path() / "tool.exe", "MZ delta tool");
    const auto payload = folder_.Path() / "payload";
    Write(payload / "1.05-1.06" / "Data" / "Map.pak.upd", std::string("\xD6\xC3\xC4\x00 delta", 10));
    Write(payload / "1.05-1.06" / "Data" / "Local.pak.equ.#GERMAN", "E");
    Write(payload / "1.05-1.06" / "Grüße.txt.new", "");
    Write(payload / "CRC" / "1.06" / "CRC.CRC", "Data\\Map.pak 12345678\nData\\Local.pak.#GERMAN 0\n");
    Write(payload / "CRC" / "1.05" / "CRC.CRC", "Data\\Map.pak 1\n");
    Write(folder_.Path() / "all" / "Readme.txt", "whole file");
    options_.stub = ZR_MAKE_STUB;
    options_.payload = payload.string();
    options_.manifest = folder_.File("manifest.cpp");
    options_.output = folder_.File("patch.exe");
    options_.keyFile = folder_.File("key.pem");
    options_.deltaTool = folder_.File("tool.exe");
    options_.groupFolders = {{"ALL", folder_.File("all")}};
  }

  TempFolder folder_;
  std::string pem_;
  platform::KeyBlob publicKey_;
  make::PackOptions options_;
};

TEST_F(PackTest, PackedEntriesReadBackThroughTheStore) {
  make::PackReport report;
  ASSERT_TRUE(make::PackPatch(options_, &report)) << Joined(report.problems);
  EXPECT_EQ(report.entries, 11);
  EXPECT_TRUE(report.payloadTable);

  std::string error;
  auto store = patch::ModuleEntrySource::Open(options_.output.c_str(), &error);
  ASSERT_TRUE(store) << error;
  const auto entry = [&](const char* name) {
    std::string bytes;
    EXPECT_TRUE(EntryBytesOf(*store, name, &bytes)) << name;
    return bytes;
  };
  EXPECT_EQ(entry("1.05-1.06\\DATA\\MAP.PAK.UPD"), std::string("\xD6\xC3\xC4\x00 delta", 10));
  EXPECT_EQ(entry("1.05-1.06\\DATA\\LOCAL.PAK.EQU.#GERMAN"), "E");
  EXPECT_EQ(entry("1.05-1.06\\GRüßE.TXT.NEW"), "");
  EXPECT_EQ(entry("ALL\\README.TXT"), "whole file");
  EXPECT_EQ(entry("XDELTA3.EXE"), "MZ delta tool");
  EXPECT_EQ(entry("VERSION.CFG.SIGN").size(), 256u);
  EXPECT_EQ(entry("PAYLOAD.TABLE.SIGN").size(), 256u);
  // The table lists every other entry with its size and digest, sorted by name.
  const std::string table = entry("PAYLOAD.TABLE");
  EXPECT_EQ(table.rfind("ZRPATCH PAYLOAD TABLE 1\n", 0), 0u) << table;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 10) << table;
  EXPECT_NE(table.find(" ALL\\README.TXT\n"), std::string::npos) << table;
  EXPECT_NE(table.find("10 " + platform::DigestText([] {
                         platform::Sha256Digest digest;
                         platform::Sha256Of("whole file", 10, &digest);
                         return digest;
                       }()) + " ALL\\README.TXT\n"),
            std::string::npos)
      << table;
  EXPECT_LT(table.find("1.05-1.06\\"), table.find("ALL\\"));
  EXPECT_LT(table.find("ALL\\"), table.find("XDELTA3.EXE"));

  // The slot holds the publisher's key; the stub's own file still holds the development key.
  const std::string patchBytes = maketest::Read(options_.output);
  platform::KeyBlob slot;
  ASSERT_EQ(ReadTrustedKey(reinterpret_cast<const std::uint8_t*>(patchBytes.data()), patchBytes.size(), &slot),
            KeySlotResult::Done);
  EXPECT_EQ(slot, publicKey_);

  make::InspectReport inspected;
  EXPECT_TRUE(make::InspectPatch(options_.output, "", &inspected)) << Joined(inspected.problems);
  EXPECT_TRUE(inspected.signatureValid);
  EXPECT_TRUE(inspected.payloadTable);
  EXPECT_TRUE(inspected.payloadVerified);
  EXPECT_EQ(inspected.tableEntries, 9);
  EXPECT_NE(inspected.manifestText.find("configApp"), std::string::npos);
  // A checksum as it was written, not as the negative number the binary form holds.
  EXPECT_NE(inspected.manifestText.find("\t\tcrc=0x89473587;\n"), std::string::npos) << inspected.manifestText;
  EXPECT_NE(inspected.manifestText.find("\t\tscope=1;\n"), std::string::npos) << inspected.manifestText;
  std::string fingerprint;
  platform::KeyFingerprint(publicKey_, &fingerprint);
  EXPECT_EQ(inspected.fingerprint, fingerprint);
  ASSERT_FALSE(inspected.groups.empty());
  EXPECT_EQ(inspected.groups.front().title, "step 1.05-1.06");
  EXPECT_EQ(inspected.groups.front().entries.size(), 3u);

  // Packing again replaces the patch whole.
  ASSERT_TRUE(make::PackPatch(options_, &report)) << Joined(report.problems);
  EXPECT_TRUE(make::InspectPatch(options_.output, "", &inspected)) << Joined(inspected.problems);
  // A pinned key that differs is a problem.
  Write(folder_.Path() / "other.blob", std::string(148, '\0'));
  EXPECT_FALSE(make::InspectPatch(options_.output, folder_.File("other.blob"), &inspected));
}

TEST_F(PackTest, InspectionFindsInconsistencies) {
  const auto payload = folder_.Path() / "payload";
  Write(payload / "1.05-1.06" / "Data" / "Bad.pak.upd", "not a delta");
  Write(payload / "1.05-1.06" / "Data" / "Map.pak.equ", "E");
  Write(payload / "1.05-1.06" / "Data" / "Odd.pak.del", "XX");
  Write(payload / "1.05-1.06" / "Data" / "French.pak.equ.#FRENCH", "E");
  Write(payload / "1.06-1.08" / "Later.pak.equ", "E");
  make::PackReport report;
  ASSERT_TRUE(make::PackPatch(options_, &report)) << Joined(report.problems);
  make::InspectReport inspected;
  EXPECT_FALSE(make::InspectPatch(options_.output, "", &inspected));
  const std::vector<std::string>& problems = inspected.problems;
  EXPECT_TRUE(Mentions(problems, "1.05-1.06\\DATA\\BAD.PAK.UPD: not a VCDIFF delta")) << Joined(problems);
  EXPECT_TRUE(Mentions(problems, "1.05-1.06\\DATA\\MAP.PAK.UPD: a second entry for the file of 1.05-1.06\\DATA\\MAP.PAK.EQU"));
  EXPECT_TRUE(Mentions(problems, "1.05-1.06\\DATA\\ODD.PAK.DEL: a marker should be the one byte 'X'"));
  EXPECT_TRUE(Mentions(problems, "FRENCH.PAK.EQU.#FRENCH: distribution FRENCH is not declared"));
  EXPECT_TRUE(Mentions(problems, "1.06-1.08\\LATER.PAK.EQU: the step leads past the manifest's version 1.06"));
  EXPECT_TRUE(Mentions(problems, "CRC\\1.08\\CRC.CRC: missing"));
  EXPECT_EQ(problems.size(), 6u) << Joined(problems);

  // A changed manifest byte breaks the signature.
  std::string bytes = maketest::Read(options_.output);
  const std::size_t at = bytes.find("Software");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 's';
  Write(folder_.File("damaged.exe"), bytes);
  EXPECT_FALSE(make::InspectPatch(folder_.File("damaged.exe"), "", &inspected));
  EXPECT_TRUE(Mentions(inspected.problems, "VERSION.CFG.SIGN: the signature does not hold"));
  EXPECT_FALSE(make::InspectPatch(folder_.File("no-such.exe"), "", &inspected));
}

TEST_F(PackTest, RefusalsLeaveNoPatchBehind) {
  const auto payload = folder_.Path() / "payload";
  Write(folder_.Path() / "bad.cpp", "configApp = \"x\";\nclass Broken : Missing {\n};\n");
  options_.manifest = folder_.File("bad.cpp");
  Write(payload / "VERSION.CFG", "stale");
  Write(payload / "Stray.txt", "?");
  options_.deltaTool = folder_.File("no-tool.exe");
  make::PackReport report;
  EXPECT_FALSE(make::PackPatch(options_, &report));
  EXPECT_TRUE(Mentions(report.problems, "File " + folder_.File("bad.cpp") + ", line 2")) << Joined(report.problems);
  EXPECT_TRUE(Mentions(report.problems, "VERSION.CFG: the manifest, the payload table and their signatures are written"));
  EXPECT_TRUE(Mentions(report.problems, "Stray.txt: not a payload name"));
  EXPECT_TRUE(Mentions(report.problems, "no-tool.exe: no such delta tool"));
  EXPECT_FALSE(std::filesystem::exists(options_.output));

  // A manifest without its required keys; a key file that is no key; a stub without a slot.
  std::filesystem::remove(payload / "VERSION.CFG");
  std::filesystem::remove(payload / "Stray.txt");
  options_.deltaTool = folder_.File("tool.exe");
  Write(folder_.Path() / "thin.cpp", "configApp = \"x\";\n");
  options_.manifest = folder_.File("thin.cpp");
  Write(folder_.Path() / "nokey.pem", "not a key");
  options_.keyFile = folder_.File("nokey.pem");
  options_.stub = folder_.File("tool.exe");
  EXPECT_FALSE(make::PackPatch(options_, &report));
  EXPECT_TRUE(Mentions(report.problems, "thin.cpp: No entry '.displayName'.")) << Joined(report.problems);
  EXPECT_TRUE(Mentions(report.problems, "nokey.pem: "));
  EXPECT_FALSE(Mentions(report.problems, "is not a value")) << Joined(report.problems);
  options_.manifest = folder_.File("manifest.cpp");
  options_.keyFile = folder_.File("key.pem");
  EXPECT_FALSE(make::PackPatch(options_, &report));
  EXPECT_TRUE(Mentions(report.problems, "tool.exe: ")) << Joined(report.problems);
  EXPECT_FALSE(std::filesystem::exists(options_.output));
  EXPECT_FALSE(std::filesystem::exists(options_.output + ".part"));

  // A payload file that carries a key slot of its own (the patch program itself as the delta tool).
  options_.stub = ZR_MAKE_STUB;
  options_.deltaTool = ZR_MAKE_STUB;
  EXPECT_FALSE(make::PackPatch(options_, &report));
  EXPECT_TRUE(Mentions(report.problems, "carries a key slot marker of its own")) << Joined(report.problems);
  EXPECT_FALSE(std::filesystem::exists(options_.output));
  EXPECT_FALSE(std::filesystem::exists(options_.output + ".part"));
}

TEST_F(PackTest, EveryEntryThatDiffersFromTheTableIsNamedByTheInspection) {
  make::PackReport report;
  ASSERT_TRUE(make::PackPatch(options_, &report)) << Joined(report.problems);
  const std::string packed = maketest::Read(options_.output);
  // Two entries changed in place, keeping their sizes: the whole file and the delta.
  std::string bytes = packed;
  const std::size_t whole = bytes.find("whole file");
  const std::size_t delta = bytes.find(std::string("\xD6\xC3\xC4\x00 delta", 10));
  ASSERT_NE(whole, std::string::npos);
  ASSERT_NE(delta, std::string::npos);
  bytes[whole] = 'W';
  bytes[delta + 9] = 'A';
  Write(folder_.File("changed.exe"), bytes);
  make::InspectReport inspected;
  EXPECT_FALSE(make::InspectPatch(folder_.File("changed.exe"), "", &inspected));
  EXPECT_TRUE(inspected.signatureValid) << "the manifest itself is intact";
  EXPECT_FALSE(inspected.payloadVerified);
  EXPECT_TRUE(Mentions(inspected.problems, "ALL\\README.TXT: its bytes differ from those the publisher signed"))
      << Joined(inspected.problems);
  EXPECT_TRUE(Mentions(inspected.problems, "1.05-1.06\\DATA\\MAP.PAK.UPD: its bytes differ"))
      << Joined(inspected.problems);
  EXPECT_EQ(inspected.problems.size(), 2u) << Joined(inspected.problems);

  // The table's own bytes changed: its signature no longer holds.
  bytes = packed;
  const std::size_t table = bytes.find("ZRPATCH PAYLOAD TABLE 1");
  ASSERT_NE(table, std::string::npos);
  bytes[table + 30] ^= 1;
  Write(folder_.File("table.exe"), bytes);
  EXPECT_FALSE(make::InspectPatch(folder_.File("table.exe"), "", &inspected));
  EXPECT_TRUE(Mentions(inspected.problems, "PAYLOAD.TABLE.SIGN: the signature does not hold")) << Joined(inspected.problems);
}

TEST_F(PackTest, AKeyOf1024BitsPacksOnlyTheOriginalFormat) {
  std::string pem;
  platform::KeyBlob small;
  ASSERT_EQ(platform::GenerateSigningKey(1024, &pem, &small), platform::SigningResult::Ok);
  Write(folder_.Path() / "small.pem", pem);
  options_.keyFile = folder_.File("small.pem");
  make::PackReport report;
  EXPECT_FALSE(make::PackPatch(options_, &report));
  EXPECT_TRUE(Mentions(report.problems, "small.pem: a key of 1024 bits signs manifests only")) << Joined(report.problems);
  EXPECT_FALSE(std::filesystem::exists(options_.output));

  options_.payloadTable = false;
  ASSERT_TRUE(make::PackPatch(options_, &report)) << Joined(report.problems);
  EXPECT_FALSE(report.payloadTable);
  EXPECT_EQ(report.entries, 9);
  make::InspectReport inspected;
  EXPECT_TRUE(make::InspectPatch(options_.output, "", &inspected)) << Joined(inspected.problems);
  EXPECT_FALSE(inspected.payloadTable);
  EXPECT_TRUE(Mentions(inspected.notes, "PAYLOAD.TABLE: none")) << Joined(inspected.notes);

  // A large key without the table is a patch the program refuses: the inspection says so.
  options_.keyFile = folder_.File("key.pem");
  ASSERT_TRUE(make::PackPatch(options_, &report)) << Joined(report.problems);
  EXPECT_FALSE(make::InspectPatch(options_.output, "", &inspected));
  EXPECT_TRUE(Mentions(inspected.problems, "PAYLOAD.TABLE: missing, though the key has 2048 bits"))
      << Joined(inspected.problems);
}

// Integers named crc become unsigned hexadecimal, every other line stays as the writer gave it.
TEST(ChecksumsInHex, OnlyIntegersNamedCrcChange) {
  EXPECT_EQ(make::ChecksumsInHex("crc=-1991821945;\n\tCRC=0;\n\t\tCrc=2147483647;\ncrc=-2147483648;\n"),
            "crc=0x89473587;\n\tCRC=0x00000000;\n\t\tCrc=0x7fffffff;\ncrc=0x80000000;\n");
  EXPECT_EQ(make::ChecksumsInHex("\tcrc[]={1,-1};\ncrc[]={};\ncrc[]={1,\"a\"};\n"),
            "\tcrc[]={0x00000001,0xffffffff};\ncrc[]={};\ncrc[]={1,\"a\"};\n");
  // Not integers, not named crc, or out of the 32-bit range: as they were.
  const std::string kept =
      "crc=\"-5\";\ncrc=1.5;\ncrcs=5;\nmycrc=5;\nname=\"crc=5;\";\ncrc=4294967296;\ncrc=-;\ncrc=;\ncrc=5\ncrc";
  EXPECT_EQ(make::ChecksumsInHex(kept), kept);
}

}  // namespace
