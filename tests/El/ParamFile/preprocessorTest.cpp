// The pass-through preprocessor and the line-tracking stream that feeds the parser.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "El/ParamFile/preprocessor.h"
#include "El/QStream/bankWriter.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"
#include "paramTextSupport.h"

namespace {

std::unique_ptr<QIPreprocessedStream> Over(const QOStrStream& text) {
  std::unique_ptr<QIStrStream> inner(new QIStrStream);
  inner->open(text);
  return std::unique_ptr<QIPreprocessedStream>(new QIPreprocessedStream(std::move(inner)));
}

void Put(QOStrStream& out, const std::string& text) { out.write(text.data(), static_cast<int>(text.size())); }

}  // namespace

TEST(Preprocessor, CopiesTheSourceByteForByte) {
  const std::string source = "#include \"x.h\"\n// comment\r\n#define A 1\nclass A { a = A; };\0tail";
  TempConfig config(std::string(source.c_str(), source.size()) + std::string("\0end", 4));
  QOStrStream out;
  ASSERT_TRUE(GPreprocessorFunctions->PreprocessFile(out, config.Name(), 1));
  EXPECT_EQ(std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize())),
            source + std::string("\0end", 4));
}

TEST(Preprocessor, MissingSourceIsRefused) {
  QOStrStream out;
  EXPECT_FALSE(GPreprocessorFunctions->PreprocessFile(out, "no/such/file.cpp", 1));
  EXPECT_EQ(out.GetTotalSize(), 0);
}

TEST(Preprocessor, ReadsEntriesOfABank) {
  BankWriter writer;
  writer.AddData("config.cpp", "a = 1;", 6, 0, true);
  QOStrStream bytes;
  writer.Write(bytes);
  QFBank bank;
  ASSERT_TRUE(bank.OpenSource(Ref<IFileBuffer>(new FileBufferMemory(bytes.Data(), bytes.GetTotalSize())), "b.pbo"));
  QOStrStream out;
  ASSERT_TRUE(GPreprocessorFunctions->PreprocessBank(out, bank, "CONFIG.cpp", 1));
  EXPECT_EQ(std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize())), "a = 1;");
  EXPECT_FALSE(GPreprocessorFunctions->PreprocessBank(out, bank, "other.cpp", 1));
  ParamFile file;
  EXPECT_EQ(ParseText(file, bank, "config.cpp"), PTROk);
  EXPECT_EQ(file.FindEntry("a")->GetInt(), 1);
  EXPECT_STREQ(file.GetOwner()->GetOwnerName(), "config.cpp");
  EXPECT_TRUE(Parse(file, bank, "config.cpp"));
}

TEST(PreprocessedStream, PagesEndAtLineFeedsAndCountLines) {
  QOStrStream text;
  Put(text, "one\ntwo\n\nlast");
  std::unique_ptr<QIPreprocessedStream> in = Over(text);
  EXPECT_EQ(in->GetSourcePosition().line, 1);
  EXPECT_EQ(in->GetDataSize(), 13);
  std::string seen;
  std::vector<int> lines;
  for (int c = in->get(); c >= 0; c = in->get()) {
    seen += static_cast<char>(c);
    lines.push_back(in->GetSourcePosition().line);
  }
  EXPECT_EQ(seen, "one\ntwo\n\nlast");
  const std::vector<int> expected = {1, 1, 1, 1, 2, 2, 2, 2, 3, 4, 4, 4, 4};
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(in->eof());
  EXPECT_FALSE(in->fail());
}

TEST(PreprocessedStream, SourcePositionIsReplaced) {
  QOStrStream text;
  Put(text, "a\nb\n");
  std::unique_ptr<QIPreprocessedStream> in = Over(text);
  in->SetSourcePosition("file.h", 41);
  in->get();
  in->get();
  in->get();  // the first byte of the next line
  EXPECT_STREQ(in->GetSourcePosition().file, "file.h");
  EXPECT_EQ(in->GetSourcePosition().line, 42);
}

TEST(PreprocessedStream, SeekingAwayGivesNoData) {
  QOStrStream text;
  Put(text, "first line\nsecond line\n");
  std::unique_ptr<QIPreprocessedStream> in = Over(text);
  char bytes[8];
  EXPECT_EQ(in->read(bytes, 3), 3);
  in->SeekG(15);  // beyond the current page (which ends after the first line feed)
  EXPECT_EQ(in->get(), -1);
  EXPECT_TRUE(in->eof());
}

TEST(PreprocessedStream, WithoutAFinalLineFeedTheLastLineIsWhole) {
  QOStrStream text;
  Put(text, "x\ny");
  std::unique_ptr<QIPreprocessedStream> in = Over(text);
  char bytes[8] = {};
  EXPECT_EQ(in->read(bytes, 8), 3);
  EXPECT_STREQ(bytes, "x\ny");
  EXPECT_EQ(in->GetSourcePosition().line, 2);
}
