#include "El/QStream/qstream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "randomBytes.h"
#include "support/captureDiagnostics.h"

namespace {

std::vector<char> Pattern(std::size_t size) { return RandomBytes(size, 7); }

// An input stream over a memory source, read in 4096-byte pages.
class PagedStream : public QIStreamDataSource {
 public:
  explicit PagedStream(const std::vector<char>& bytes) {
    AttachSource(new FileBufferMemory(bytes.data(), static_cast<std::int64_t>(bytes.size())));
  }
};

// ---- flags after reads ------------------------------------------------------------------------------

TEST(ReadFlags, ReadingExactlyToTheEndLeavesBothFlagsClear) {
  QIStrStream in("abcdef", 6);
  char out[6];
  EXPECT_EQ(in.read(out, 6), 6);
  EXPECT_EQ(std::string(out, 6), "abcdef");
  EXPECT_FALSE(in.eof());
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(in.get(), -1);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.fail());
}

TEST(ReadFlags, ShortReadSetsEndAndFail) {
  QIStrStream in("abcdef", 6);
  char out[10];
  EXPECT_EQ(in.read(out, 10), 6);
  EXPECT_TRUE(in.eof());
  EXPECT_TRUE(in.fail());
}

TEST(ReadFlags, ReadWithNothingLeftSetsOnlyEnd) {
  QIStrStream in("ab", 2);
  char out[4];
  ASSERT_EQ(in.read(out, 2), 2);
  EXPECT_EQ(in.read(out, 4), 0);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.fail());
}

TEST(ReadFlags, GetReturnsUnsignedBytesAndUngetStepsBack) {
  QIStrStream in("\xff\x01", 2);
  EXPECT_EQ(in.get(), 255);
  in.unget();
  EXPECT_EQ(in.get(), 255);
  EXPECT_EQ(in.get(), 1);
  in.unget();
  in.unget();
  in.unget();  // never before the page start
  EXPECT_EQ(in.tellg(), 0);
}

TEST(ReadFlags, EmptyStreamDeliversNothing) {
  QIStrStream in(nullptr, 5);
  char out[1];
  EXPECT_EQ(in.GetDataSize(), 0);
  EXPECT_EQ(in.read(out, 1), 0);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.fail());
}

// ---- pages and seeks --------------------------------------------------------------------------------

TEST(Pages, ReadsAcrossPagesDeliverEveryByte) {
  const std::vector<char> bytes = Pattern(10000);
  PagedStream in(bytes);
  std::vector<char> out(bytes.size());
  std::size_t done = 0;
  for (int chunk = 1; done < out.size(); chunk = chunk * 3 + 1) {
    const int want = static_cast<int>(std::min<std::size_t>(chunk % 5000, out.size() - done));
    ASSERT_EQ(in.read(out.data() + done, want), want);
    done += static_cast<std::size_t>(want);
  }
  EXPECT_EQ(out, bytes);
  EXPECT_FALSE(in.eof());
  EXPECT_EQ(in.get(), -1);
}

TEST(Pages, GetUntilStopsAtTheByteAcrossPages) {
  std::vector<char> bytes(9000, 'x');
  bytes[5] = 0;
  bytes[6000] = 0;  // the second stop lies on the second page
  PagedStream in(bytes);
  std::string text = "kept";
  ASSERT_TRUE(in.GetUntil('\0', text));
  EXPECT_EQ(text, "keptxxxxx");
  EXPECT_EQ(in.tellg(), 6);
  text.clear();
  ASSERT_TRUE(in.GetUntil('\0', text));
  EXPECT_TRUE(text == std::string(5994, 'x')) << text.size();
  EXPECT_EQ(in.tellg(), 6001);
  EXPECT_FALSE(in.eof());
  text.clear();
  EXPECT_FALSE(in.GetUntil('\0', text));  // no stop before the end: the rest, and the end flag
  EXPECT_TRUE(text == std::string(2999, 'x')) << text.size();
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(in.tellg(), 9000);
}

TEST(Pages, PeekPageShowsTheRestOfEachPageInTurn) {
  const std::vector<char> bytes = Pattern(10000);
  PagedStream in(bytes);
  std::vector<char> out;
  int size = 0;
  const char* rest = in.PeekPage(size);
  ASSERT_NE(rest, nullptr);
  ASSERT_GT(size, 0);
  ASSERT_LT(size, 10000);  // one page, not the whole stream
  in.Advance(3);
  out.insert(out.end(), rest, rest + 3);
  EXPECT_EQ(in.tellg(), 3);
  EXPECT_EQ(in.get(), static_cast<unsigned char>(bytes[3]));
  out.push_back(bytes[3]);
  // Using up a page fetches the next one; get and PeekPage mix freely.
  while ((rest = in.PeekPage(size)) != nullptr) {
    ASSERT_GT(size, 0);
    out.insert(out.end(), rest, rest + size);
    in.Advance(size);
  }
  EXPECT_EQ(out, bytes);
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(in.get(), -1);
}

TEST(Seek, InsideThePageKeepsTheFlags) {
  QIStrStream in("abc", 3);
  char out[5];
  in.read(out, 5);
  ASSERT_TRUE(in.fail());
  in.SeekG(1);
  EXPECT_TRUE(in.eof());
  EXPECT_TRUE(in.fail());
  EXPECT_EQ(in.get(), 'b');
}

TEST(Seek, OutsideThePageClearsTheFlags) {
  const std::vector<char> bytes = Pattern(10000);
  PagedStream in(bytes);
  std::vector<char> out(10001);
  EXPECT_EQ(in.read(out.data(), 10001), 10000);
  ASSERT_TRUE(in.fail());
  in.SeekG(5);  // the current page is the last one
  EXPECT_FALSE(in.eof());
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(in.tellg(), 5);
  EXPECT_EQ(in.get(), static_cast<unsigned char>(bytes[5]));
}

TEST(Seek, DirectionsAndClipping) {
  const std::vector<char> bytes = Pattern(9000);
  PagedStream in(bytes);
  in.SeekG(100);
  in.SeekG(-50, 1);
  EXPECT_EQ(in.tellg(), 50);
  in.SeekG(-10, 2);
  EXPECT_EQ(in.tellg(), 8990);
  EXPECT_EQ(in.get(), static_cast<unsigned char>(bytes[8990]));
  in.SeekG(20000);
  EXPECT_EQ(in.tellg(), 9000);
  EXPECT_EQ(in.get(), -1);
  in.SeekG(-5);
  EXPECT_EQ(in.tellg(), 0);
  in.SeekG(INT64_MAX, 1);
  EXPECT_EQ(in.tellg(), 9000);
  in.SeekG(INT64_MIN, 1);
  EXPECT_EQ(in.tellg(), 0);
}

TEST(Seek, PastTheEndOfAMemoryStreamLandsAtTheEnd) {
  QIStrStream in("abcd", 4);
  in.SeekG(10);
  EXPECT_EQ(in.tellg(), 4);
  EXPECT_EQ(in.get(), -1);
}

// ---- windows ----------------------------------------------------------------------------------------

TEST(Window, PagesAreCutToTheWindow) {
  const std::vector<char> bytes = Pattern(10000);
  Ref<IFileBuffer> whole = new FileBufferMemory(bytes.data(), 10000);
  QIStreamDataSource in;
  in.AttachSource(new FileBufferSub(whole, 4000, 300));
  EXPECT_EQ(in.GetDataSize(), 300);
  std::vector<char> out(400);
  EXPECT_EQ(in.read(out.data(), 400), 300);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 300, bytes.begin() + 4000));
  EXPECT_TRUE(in.fail());
}

TEST(Window, StartPastTheEndGivesAnEmptySource) {
  Ref<IFileBuffer> whole = new FileBufferMemory("abc", 3);
  Ref<IFileBuffer> window = new FileBufferSub(whole, 50, 10);
  EXPECT_EQ(window->GetSize(), 0);
  char out[4];
  EXPECT_EQ(window->Read(out, 0, 4), 0);
}

TEST(Window, NegativeSizeReachesTheEnd) {
  Ref<IFileBuffer> whole = new FileBufferMemory("abcdef", 6);
  Ref<IFileBuffer> window = new FileBufferSub(whole, 2, -2);
  EXPECT_EQ(window->GetSize(), 4);
  EXPECT_EQ(std::string(window->GetData(), 4), "cdef");
  char out[8] = {};
  EXPECT_EQ(window->Read(out, 1, 8), 3);
  EXPECT_EQ(std::string(out, 3), "def");
}

TEST(ByteSource, ReadPastTheEndAndAtNegativePositionsCopiesNothing) {
  Ref<IFileBuffer> memory = new FileBufferMemory("abcdef", 6);
  char out[8] = {};
  EXPECT_EQ(memory->Read(out, 6, 8), 0);
  EXPECT_EQ(memory->Read(out, -3, 8), 0);
  EXPECT_EQ(memory->Read(out, 4, 8), 2);
  Ref<IFileBuffer> error = new FileBufferError();
  EXPECT_TRUE(error->IsError());
  EXPECT_EQ(error->Read(out, 0, 8), 0);
}

// A source that hands out pages that do not contain the position asked for.
class MisplacedPages : public IFileBuffer {
 public:
  bool IsError() const override { return false; }
  const char* GetData() override { return nullptr; }
  std::int64_t GetSize() const override { return 1000; }
  void ReadBuffer(StreamPage& page, Ref<QIStreamBuffer>& previous, std::int64_t position) override {
    previous.Free();
    page.buffer = new QIStreamBuffer(16);
    page.start = position + 8;  // starts after the position
    page.size = 4000;           // claims more than the buffer holds
  }
  bool PreloadBuffer(std::int64_t, std::int64_t) override { return true; }
};

TEST(ByteSource, PagesThatMissThePositionEndTheStream) {
  QIStreamDataSource in;
  in.AttachSource(new MisplacedPages());
  char out[32];
  EXPECT_EQ(in.read(out, 32), 0);
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(in.tellg(), 0);
  EXPECT_EQ(in.get(), -1);
}

// ---- output to memory -------------------------------------------------------------------------------

TEST(StringOutput, GrowsPastTheFirstBufferAndReadsBack) {
  const std::vector<char> bytes = Pattern(200000);
  QOStrStream out;
  EXPECT_EQ(out.GetBuffer()->Size(), QOStream::kInitialBuffer);
  for (std::size_t done = 0; done < bytes.size(); done += 7000) {
    const int part = static_cast<int>(std::min<std::size_t>(7000, bytes.size() - done));
    EXPECT_EQ(out.write(bytes.data() + done, part), static_cast<std::int64_t>(done) + part);
  }
  EXPECT_EQ(out.GetBuffer()->Size(), 262144);  // 64 KiB doubled twice
  EXPECT_EQ(out.GetTotalSize(), 200000);
  QIStrStream in;
  in.open(out);
  std::vector<char> back(bytes.size());
  EXPECT_EQ(in.read(back.data(), static_cast<int>(back.size())), 200000);
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(out.Fail());
}

TEST(StringOutput, SeekPastTheEndFillsTheGapWithZeros) {
  QOStrStream out;
  out.write("ab", 2);
  out.SeekP(100000, 0);
  out.put('z');
  EXPECT_EQ(out.GetTotalSize(), 100001);
  std::string text(out.Data(), 100001);
  EXPECT_EQ(text.substr(0, 2), "ab");
  EXPECT_EQ(text.find_first_not_of('\0', 2), 100000u);
  out.SeekP(-1, 2);
  EXPECT_EQ(out.tellp(), 100000);
  out.SeekP(-99999, 1);
  out.put('c');
  EXPECT_EQ(out.Data()[1], 'c');
  EXPECT_EQ(out.GetTotalSize(), 100001);
}

TEST(StringOutput, CopyFromAnInputStream) {
  const std::vector<char> bytes = Pattern(9999);
  PagedStream in(bytes);
  QOStrStream out;
  EXPECT_EQ(in.CopyTo(out), 9999);
  EXPECT_EQ(std::vector<char>(out.Data(), out.Data() + 9999), bytes);
}

// ---- error texts ------------------------------------------------------------------------------------

TEST(ErrorText, KnownCodes) {
  CaptureDiagnostics diagnostics;
  EXPECT_STREQ(LSErrorText(LSOK), "No error");
  EXPECT_STREQ(LSErrorText(LSNoFile), "No such file");
  EXPECT_STREQ(LSErrorText(LSBadFile), "Bad file (CRC, ...)");
  EXPECT_STREQ(LSErrorText(LSStructure), "Bad file structure");
  EXPECT_STREQ(LSErrorText(LSUnsupportedFormat), "Unsupported format");
  EXPECT_STREQ(LSErrorText(LSVersionTooNew), "Version is too new");
  EXPECT_STREQ(LSErrorText(LSVersionTooOld), "Version is too old");
  EXPECT_STREQ(LSErrorText(LSDiskFull), "No such file");
  EXPECT_STREQ(LSErrorText(LSNoAccess), "Access denied");
  EXPECT_STREQ(LSErrorText(LSDiskError), "Disk error");
  EXPECT_STREQ(LSErrorText(LSNoEntry), "No entry");
  EXPECT_STREQ(LSErrorText(LSUnknownError), "Unknown error");
  EXPECT_TRUE(diagnostics.lines.empty());
}

TEST(ErrorText, UnlistedCodesReportADiagnostic) {
  for (int code : {11, 13, -1}) {
    CaptureDiagnostics diagnostics;
    EXPECT_STREQ(LSErrorText(static_cast<LSError>(code)), "Unknown error");
    ASSERT_EQ(diagnostics.lines.size(), 1u) << code;
    EXPECT_EQ(diagnostics.lines[0].rfind("qstream(", 0), 0u);
    EXPECT_NE(diagnostics.lines[0].find(") : LSError"), std::string::npos);
  }
}

}  // namespace
