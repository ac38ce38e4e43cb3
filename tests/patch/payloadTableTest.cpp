// The payload table: its text read strictly (every malformation refused with its line), written back
// byte for byte; the check of a store against a signed table, which names every entry that differs;
// and the store the run sees afterwards, which holds nothing the table does not list.
#include "patch/payloadTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "patch/payloadCheck.h"
#include "support/signedPatch.h"

namespace {

bool Parse(const std::string& text, patch::PayloadTable* table, std::string* error) {
  return patch::ParsePayloadTable(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), table, error);
}

const std::string kDigest(64, 'a');

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

TEST(PayloadTable, ParsesWhatItWritesAndRefusesEveryMalformation) {
  const std::string good = "ZRPATCH PAYLOAD TABLE 1\n0 " + kDigest + " ALL\\MY FILE.TXT\n18446744 " + kDigest +
                           " VERSION.CFG\n";
  patch::PayloadTable table;
  std::string error;
  ASSERT_TRUE(Parse(good, &table, &error)) << error;
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.at("ALL\\MY FILE.TXT").size, 0u);
  EXPECT_EQ(table.at("VERSION.CFG").size, 18446744u);
  EXPECT_EQ(table.at("VERSION.CFG").digest[0], 0xAA);
  EXPECT_EQ(patch::PayloadTableText(table), good) << "sorted by name, written back byte for byte";

  const std::string header = "ZRPATCH PAYLOAD TABLE 1\n";
  const struct {
    std::string text;
    const char* reason;
  } bad[] = {
      {"", "empty or does not end"},
      {header.substr(0, header.size() - 1), "empty or does not end"},
      {"ZRPATCH PAYLOAD TABLE 2\n", "line 1: not a payload table of a known format"},
      {"ZRPATCH PAYLOAD TABLE 1\r\n", "line 1: not a payload table"},
      {header + "1 " + kDigest + " X\r\n", "line 2: bad entry name"},
      {header + "01 " + kDigest + " X\n", "line 2: bad size"},
      {header + "-1 " + kDigest + " X\n", "line 2: bad size"},
      {header + "9223372036854775808 " + kDigest + " X\n", "line 2: bad size"},
      {header + " 1 " + kDigest + " X\n", "line 2: bad size"},
      {header + "1 " + std::string(64, 'A') + " X\n", "line 2: bad digest"},
      {header + "1 " + kDigest.substr(1) + " X\n", "line 2: bad digest"},
      {header + "1 " + kDigest + "\n", "line 2: not \"<size> <digest> <name>\""},
      {header + "1 " + kDigest + " \n", "line 2: bad entry name"},
      {header + "1 " + kDigest + " A\tB\n", "line 2: bad entry name"},
      {header + "1 " + kDigest + " " + std::string(512, 'N') + "\n", "line 2: bad entry name"},
      {header + "1 " + kDigest + " X\n2 " + kDigest + " X\n", "line 3: X is listed twice"},
      {header + "1 " + kDigest + " PAYLOAD.TABLE.SIGN\n", "line 2: the table lists itself"},
      {header + "1 " + kDigest + " X\nY", "empty or does not end"},
      {header + "\n", "line 2: not"},
  };
  for (const auto& c : bad) {
    table["stale"] = {};
    EXPECT_FALSE(Parse(c.text, &table, &error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error << " for: " << c.text;
    EXPECT_TRUE(table.empty());
  }
  // Larger than the limit: refused without being read.
  std::string huge = header;
  huge.resize(patch::kMaxPayloadTableSize + 1, '\n');
  EXPECT_FALSE(Parse(huge, &table, &error));
  EXPECT_NE(error.find("larger than 128 MiB"), std::string::npos) << error;
}

TEST(PayloadTable, CheckNamesEveryEntryThatDiffersFromTheSignedTable) {
  MemoryEntrySource store;
  store.Add("1.05-1.06\\DATA\\MAP.PAK.UPD", std::string("\xD6\xC3\xC4\x00 delta", 10));
  store.Add("ALL\\README.TXT", "readme");
  store.Add("XDELTA3.EXE", "MZ tool");
  ASSERT_TRUE(signedpatch::SignPatch(store, "manifest bytes"));
  const platform::KeyBlob key = TestPublicKey(TestKey::Development);

  patch::PayloadCheck check = patch::CheckPayload(store, key, false);
  EXPECT_TRUE(check.hasTable);
  EXPECT_TRUE(check.verified) << Joined(check.problems);
  EXPECT_EQ(check.entries, 5);  // three payload entries, the manifest and its signature
  EXPECT_EQ(check.table.size(), 5u);

  // Changed in place, renamed, added, removed: each named, every one of them.
  MemoryEntrySource changed = store;
  (*changed.Bytes("ALL\\README.TXT"))[0] = 'R';
  changed.Add("XDELTA3.EXE", "MZ tool, longer");
  changed.Remove("1.05-1.06\\DATA\\MAP.PAK.UPD");
  changed.Add("1.05-1.06\\DATA\\MAP.PAK.UPE", std::string("\xD6\xC3\xC4\x00 delta", 10));
  check = patch::CheckPayload(changed, key, false);
  EXPECT_FALSE(check.verified);
  const std::string problems = Joined(check.problems);
  EXPECT_NE(problems.find("ALL\\README.TXT: its bytes differ from those the publisher signed"), std::string::npos)
      << problems;
  EXPECT_NE(problems.find("XDELTA3.EXE: 15 bytes, the payload table lists 7"), std::string::npos) << problems;
  EXPECT_NE(problems.find("1.05-1.06\\DATA\\MAP.PAK.UPE: not in the publisher's payload table"), std::string::npos);
  EXPECT_NE(problems.find("1.05-1.06\\DATA\\MAP.PAK.UPD: listed in the payload table, but the patch does not carry"),
            std::string::npos);
  EXPECT_EQ(check.problems.size(), 4u) << problems;
  // The run stops at the first.
  EXPECT_EQ(patch::CheckPayload(changed, key, true).problems.size(), 1u);

  // Another key, a key too small for a table, no table at all.
  check = patch::CheckPayload(store, TestPublicKey(TestKey::ManifestOnly), false);
  EXPECT_FALSE(check.verified);
  EXPECT_NE(Joined(check.problems).find("the trusted key has 1024 bits"), std::string::npos) << Joined(check.problems);
  platform::KeyBlob other = key;
  other[100] ^= 1;
  check = patch::CheckPayload(store, other, false);
  EXPECT_NE(Joined(check.problems).find("PAYLOAD.TABLE.SIGN: the signature does not hold"), std::string::npos)
      << Joined(check.problems);
  MemoryEntrySource plain;
  plain.Add("VERSION.CFG", "manifest bytes");
  check = patch::CheckPayload(plain, key, false);
  EXPECT_FALSE(check.hasTable);
  EXPECT_FALSE(check.verified);
  EXPECT_TRUE(check.problems.empty());
}

TEST(PayloadTable, TheVerifiedStoreShowsOnlyWhatTheTableLists) {
  MemoryEntrySource store;
  store.Add("ALL\\README.TXT", "readme");
  ASSERT_TRUE(signedpatch::SignPatch(store, "manifest"));
  patch::PayloadCheck check = patch::CheckPayload(store, TestPublicKey(TestKey::Development), true);
  ASSERT_TRUE(check.verified);
  // Entries that appear, or grow, after the check are not seen.
  store.Add("ALL\\LATER.TXT", "later");
  patch::VerifiedEntrySource verified(store, check.table);
  std::vector<std::string> names;
  verified.EnumerateNames([](const char* name, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(name); },
                          &names);
  EXPECT_EQ(names, (std::vector<std::string>{"ALL\\README.TXT", "VERSION.CFG", "VERSION.CFG.SIGN"}));
  patch::EntryRange entry;
  EXPECT_TRUE(verified.Find("ALL\\README.TXT", &entry));
  EXPECT_FALSE(verified.Find("ALL\\LATER.TXT", &entry));
  EXPECT_FALSE(verified.Find(patch::kPayloadTableEntry, &entry));
  store.Add("ALL\\README.TXT", "readme, grown");
  EXPECT_FALSE(verified.Find("ALL\\README.TXT", &entry));
  platform::Sha256Digest digest;
  EXPECT_TRUE(verified.Digest("VERSION.CFG", &digest));
  EXPECT_FALSE(verified.Digest("ALL\\LATER.TXT", &digest));
}
