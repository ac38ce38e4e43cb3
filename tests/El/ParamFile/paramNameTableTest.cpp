// The loaders' text table: names get the string bank's blocks, value texts one block per distinct
// text, whatever the order and however many texts it holds; and the member filter built on its hashes.

#include "El/ParamFile/paramNameTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "El/ParamFile/paramEntry.h"
#include "El/ParamFile/paramEntryIndex.h"
#include "Es/Containers/stringBank.h"

namespace {

TEST(NameTable, GivesTheBankBlockOnFirstAndLaterUse) {
  ParamNameTable table;
  const RefString first = table.Share(std::string("tableName")).text;
  EXPECT_STREQ(first.Data(), "tableName");
  EXPECT_EQ(first.Block(), ParamShareName("tableName").Block());
  EXPECT_EQ(table.Share(std::string("tableName")).text.Block(), first.Block());
  // Case matters, as in the bank; the hash does not see it.
  const ParamNameTable::Shared other = table.Share(std::string("TableName"));
  EXPECT_NE(other.text.Block(), first.Block());
  EXPECT_EQ(other.hash, ParamEntryIndex::Hash("tablename"));
}

TEST(NameTable, EmptyAndNulTextsShareThePrefix) {
  ParamNameTable table;
  EXPECT_EQ(table.Share(std::string()).text.Block(), nullptr);
  EXPECT_EQ(table.Share(std::string()).hash, ParamEntryIndex::Hash(""));  // as the name index hashes it
  const std::string withNul("pre\0post", 8);
  EXPECT_STREQ(table.Share(withNul).text.Data(), "pre");
  EXPECT_EQ(table.Share(withNul).text.Block(), ParamShareName("pre").Block());
  EXPECT_EQ(table.Share(std::string("\0x", 2)).text.Block(), nullptr);
}

TEST(NameTable, OwnTextsAreOneBlockPerTextAcrossGrowth) {
  ParamNameTable table(ParamNameTable::kOwn);
  std::vector<RefString> first;
  for (int i = 0; i < 3000; ++i) first.push_back(table.Share("text " + std::to_string(i)).text);
  for (int i = 2999; i >= 0; --i) {
    const ParamNameTable::Shared again = table.Share("text " + std::to_string(i));
    ASSERT_EQ(again.text.Block(), first[static_cast<std::size_t>(i)].Block()) << i;
    EXPECT_EQ(again.hash, ParamEntryIndex::Hash(again.text.Data()));
  }
  // Not the bank's blocks: value texts do not fill the process-wide bank.
  EXPECT_EQ(GStringBank().Find("text 17").Block(), nullptr);
  EXPECT_NE(table.Share(std::string("Text 17")).text.Block(), first[17].Block());
}

TEST(MemberFilter, NeverMissesANameItWasGiven) {
  ParamMemberFilter empty(0);
  for (std::uint32_t bit = 0; bit < 64; ++bit) EXPECT_FALSE(empty.MayHold(bit));
  ParamMemberFilter filter(0);
  ParamNameTable table;
  for (int i = 0; i < 40; ++i) filter.Add(table.Share("member" + std::to_string(i)).hash);
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(filter.MayHold(ParamEntryIndex::Hash(("MEMBER" + std::to_string(i)).c_str())));
  // A class that held members before the filter existed may hold any name.
  ParamMemberFilter filled(3);
  for (std::uint32_t bit = 0; bit < 64; ++bit) EXPECT_TRUE(filled.MayHold(bit));
}

}  // namespace
