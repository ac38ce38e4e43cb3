// The loaders' name table: the same shared blocks as the string bank gives, whatever the order.

#include "El/ParamFile/paramNameTable.h"

#include <gtest/gtest.h>

#include <string>

#include "El/ParamFile/paramEntry.h"

namespace {

TEST(NameTable, GivesTheBankBlockOnFirstAndLaterUse) {
  ParamNameTable table;
  const RefString first = table.Share(std::string("tableName"));
  EXPECT_STREQ(first.Data(), "tableName");
  EXPECT_EQ(first.Block(), ParamShareName("tableName").Block());
  EXPECT_EQ(table.Share(std::string("tableName")).Block(), first.Block());
  // Case matters, as in the bank.
  EXPECT_NE(table.Share(std::string("TableName")).Block(), first.Block());
}

TEST(NameTable, EmptyAndNulTextsShareThePrefix) {
  ParamNameTable table;
  EXPECT_EQ(table.Share(std::string()).Block(), nullptr);
  const std::string withNul("pre\0post", 8);
  EXPECT_STREQ(table.Share(withNul).Data(), "pre");
  EXPECT_EQ(table.Share(withNul).Block(), ParamShareName("pre").Block());
  EXPECT_EQ(table.Share(std::string("\0x", 2)).Block(), nullptr);
}

}  // namespace
