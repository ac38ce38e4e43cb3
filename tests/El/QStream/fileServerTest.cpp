// The default file server, the file operations on names, and the disk byte sources.
#include "El/QStream/fileServer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "El/QStream/fileBuffer.h"
#include "El/QStream/fileMemView.h"
#include "El/QStream/qstream.h"
#include "support/captureDiagnostics.h"
#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

void WriteFile(const std::string& name, const std::string& text) {
  std::ofstream file(name, std::ios::binary);
  file << text;
}

std::string ReadFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Numbers(int count) {
  std::string text;
  for (int i = 0; text.size() < static_cast<std::size_t>(count); ++i) text += std::to_string(i) + ",";
  text.resize(static_cast<std::size_t>(count));
  return text;
}

class FileServer : public ::testing::Test {
 protected:
  TempFolder folder;
};

// Counts requests and remembers their sizes; otherwise the default server.
class CountingServer : public QIFileServerFunctions {
 public:
  CountingServer() : previous_(GFileServerFunctions) { GFileServerFunctions = this; }
  ~CountingServer() override { GFileServerFunctions = previous_; }
  bool Request(IFileRequestCompletion* done, platform::FileHandle handle, std::int64_t position,
               int size) override {
    sizes.push_back(size);
    return QIFileServerFunctions::Request(done, handle, position, size);
  }
  std::vector<int> sizes;

 private:
  QIFileServerFunctions* previous_;
};

// ---- copy -------------------------------------------------------------------------------------------

TEST_F(FileServer, CopyOntoItselfDoesNothing) {
  const std::string name = folder.File("Same.txt");
  WriteFile(name, "keep");
  std::string other = name;
  other.replace(other.size() - 8, 8, "SAME.TXT");
  EXPECT_TRUE(GFileServerFunctions->Copy(name.c_str(), other.c_str()));
  EXPECT_EQ(ReadFile(name), "keep");
}

TEST_F(FileServer, CopyDuplicatesTheContents) {
  const std::string text = Numbers(20000);
  WriteFile(folder.File("from.txt"), text);
  EXPECT_TRUE(GFileServerFunctions->Copy(folder.File("from.txt").c_str(), folder.File("to.txt").c_str()));
  EXPECT_EQ(ReadFile(folder.File("to.txt")), text);
  WriteFile(folder.File("empty.txt"), "");
  EXPECT_TRUE(GFileServerFunctions->Copy(folder.File("empty.txt").c_str(), folder.File("to.txt").c_str()));
  EXPECT_EQ(ReadFile(folder.File("to.txt")), "");
}

TEST_F(FileServer, CopyOfAMissingSourceCreatesNothing) {
  EXPECT_FALSE(GFileServerFunctions->Copy(folder.File("none.txt").c_str(), folder.File("to.txt").c_str()));
  EXPECT_FALSE(QFileExists(folder.File("to.txt").c_str()));
}

TEST_F(FileServer, CopyOntoAFullDiskFails) {
  WriteFile(folder.File("from.txt"), Numbers(5000));
  FaultInjectingFileSystem faults;
  faults.diskSpace = 100;
  EXPECT_FALSE(GFileServerFunctions->Copy(folder.File("from.txt").c_str(), folder.File("to.txt").c_str()));
}

// ---- operations on names ----------------------------------------------------------------------------

TEST_F(FileServer, NameOperations) {
  const std::string name = folder.File("file.txt");
  EXPECT_FALSE(QFileExists(name.c_str()));
  EXPECT_EQ(QFileSize(name.c_str()), 0);
  EXPECT_EQ(QFileTime(name.c_str()), 0);
  EXPECT_TRUE(QFileDeleteIfPresent(name.c_str()));
  EXPECT_FALSE(QFileDelete(name.c_str()));

  WriteFile(name, "12345");
  EXPECT_TRUE(QFileExists(name.c_str()));
  EXPECT_EQ(QFileSize(name.c_str()), 5);
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  EXPECT_LE(std::abs(QFileTime(name.c_str()) - now), 120);
  EXPECT_TRUE(QFileDeleteIfPresent(name.c_str()));
  EXPECT_FALSE(QFileExists(name.c_str()));
}

TEST_F(FileServer, DeleteClearsAReadOnlyAttributeFirst) {
  const std::string name = folder.File("locked.txt");
  WriteFile(name, "x");
  std::filesystem::permissions(name, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  EXPECT_TRUE(QFileDelete(name.c_str()));
  EXPECT_FALSE(QFileExists(name.c_str()));
}

TEST(FileServerDefaults, HandlesAndPages) {
  QIFileServerFunctions* server = DefaultFileServerFunctions();
  EXPECT_EQ(GFileServerFunctions, server);
  EXPECT_STREQ(server->HandleName(0x1a2b), "Handle 1a2b");
  EXPECT_FALSE(server->IsValid(0));
  EXPECT_FALSE(server->IsValid(-1));
  EXPECT_EQ(server->PageSize(), 8192);
  EXPECT_EQ(server->SystemHandle(42), 42);
}

TEST_F(FileServer, ReadPageAtTheEndHoldsWhatIsLeft) {
  WriteFile(folder.File("f.txt"), Numbers(10000));
  QIFileServerFunctions* server = GFileServerFunctions;
  const platform::FileHandle handle = server->OpenRead(folder.File("f.txt").c_str());
  ASSERT_TRUE(server->IsValid(handle));
  StreamPage page;
  server->ReadPage(page, handle, 8192, 100000);  // more than a page is never read
  EXPECT_EQ(page.start, 8192);
  EXPECT_EQ(page.size, 10000 - 8192);
  EXPECT_EQ(std::string(page.buffer->Data(), 4), Numbers(10000).substr(8192, 4));
  server->ReadPage(page, handle, 20000, 8192);
  EXPECT_EQ(page.size, 0);
  server->CloseRead(folder.File("f.txt").c_str(), handle);
}

// ---- disk byte sources ------------------------------------------------------------------------------

TEST_F(FileServer, LoadingSourceReadsAlignedPagesAndRefusesWholeData) {
  const std::string text = Numbers(20000);
  WriteFile(folder.File("f.txt"), text);
  Ref<IFileBuffer> source = new FileBufferLoading(folder.File("f.txt").c_str());
  EXPECT_FALSE(source->IsError());
  EXPECT_NE(source->GetHandle(), 0);
  EXPECT_EQ(source->GetSize(), 20000);
  StreamPage page;
  source->ReadBuffer(page, page.buffer, 9000);
  EXPECT_EQ(page.start, 8192);
  EXPECT_EQ(page.size, 8192);
  source->ReadBuffer(page, page.buffer, 50000);  // clipped to the end: the last, partial page
  EXPECT_EQ(page.start, 16384);
  EXPECT_EQ(page.size, 20000 - 16384);
  std::string middle(5000, 0);
  EXPECT_EQ(source->Read(&middle[0], 7000, 5000), 5000);
  EXPECT_EQ(middle, text.substr(7000, 5000));

  CaptureDiagnostics diagnostics;
  EXPECT_EQ(source->GetData(), nullptr);
  EXPECT_TRUE(diagnostics.Contains(") : Cannot return data"));
}

TEST_F(FileServer, LoadingSourceRequestsInUnitsOf32KiB) {
  WriteFile(folder.File("f.txt"), Numbers(100000));
  CountingServer server;
  Ref<IFileBuffer> source = new FileBufferLoading(folder.File("f.txt").c_str());
  source->PreRead(1000, 200000);  // clipped to the 99000 bytes that follow
  EXPECT_EQ(server.sizes, std::vector<int>({32768, 32768, 32768, 99000 - 3 * 32768}));
  server.sizes.clear();
  EXPECT_TRUE(source->PreloadBuffer(0, 10));
  EXPECT_EQ(server.sizes, std::vector<int>({10}));
  server.sizes.clear();
  Ref<IFileBuffer> window = new FileBufferSub(source, 90000, 50000);
  window->PreRead(5000, 50000);
  EXPECT_EQ(server.sizes, std::vector<int>({5000}));
}

TEST_F(FileServer, StreamHintsReachTheFileServer) {
  WriteFile(folder.File("f.txt"), Numbers(50000));
  CountingServer server;
  QIFStream in;
  in.open(folder.File("f.txt").c_str(), 10000, -2);
  char skip[100];
  in.read(skip, 100);
  in.PreRead(40000);  // from window position 100, i.e. file position 10100, to the window's end
  EXPECT_EQ(server.sizes, std::vector<int>({32768, 50000 - 10100 - 32768}));
  server.sizes.clear();
  EXPECT_TRUE(in.PreloadBuffer(10));
  EXPECT_EQ(server.sizes, std::vector<int>({10}));
}

TEST_F(FileServer, MissingFileGivesAnErrorSource) {
  Ref<IFileBuffer> source = new FileBufferLoading(folder.File("none").c_str());
  EXPECT_TRUE(source->IsError());
  EXPECT_EQ(source->GetSize(), 0);
  EXPECT_TRUE(source->PreloadBuffer(0, 100));
  StreamPage page;
  source->ReadBuffer(page, page.buffer, 0);
  EXPECT_EQ(page.size, 0);
}

TEST_F(FileServer, LoadedSourceHoldsTheRegion) {
  const std::string text = Numbers(30000);
  WriteFile(folder.File("f.txt"), text);
  Ref<FileBufferLoaded> whole = new FileBufferLoaded(folder.File("f.txt").c_str(), 0, -1);
  EXPECT_EQ(std::string(whole->GetData(), static_cast<std::size_t>(whole->GetSize())), text);
  Ref<FileBufferLoaded> part = new FileBufferLoaded(folder.File("f.txt").c_str(), 29990, 100);
  EXPECT_EQ(std::string(part->GetData(), static_cast<std::size_t>(part->GetSize())), text.substr(29990));
  Ref<FileBufferLoaded> beyond = new FileBufferLoaded(folder.File("f.txt").c_str(), 40000, 100);
  EXPECT_EQ(beyond->GetSize(), 0);
}

TEST_F(FileServer, LoadedSourceReportsShortReads) {
  WriteFile(folder.File("f.txt"), Numbers(30000));
  FaultInjectingFileSystem faults;
  faults.readFailFrom = 10000;
  CaptureDiagnostics diagnostics;
  Ref<FileBufferLoaded> source = new FileBufferLoaded(folder.File("f.txt").c_str(), 0, -1);
  EXPECT_EQ(source->GetSize(), 0);
  EXPECT_EQ(source->GetData(), nullptr);
  EXPECT_TRUE(diagnostics.Contains("File '" + folder.File("f.txt") + "' read error"));
}

TEST_F(FileServer, LoadedSourceOfAnEmptyOrMissingFile) {
  WriteFile(folder.File("empty.txt"), "");
  CaptureDiagnostics diagnostics;
  Ref<FileBufferLoaded> empty = new FileBufferLoaded(folder.File("empty.txt").c_str(), 0, -1);
  EXPECT_EQ(empty->GetSize(), 0);
  EXPECT_TRUE(diagnostics.lines.empty());
  Ref<FileBufferLoaded> missing = new FileBufferLoaded(folder.File("none.txt").c_str(), 0, -1);
  EXPECT_EQ(missing->GetSize(), 0);
  EXPECT_TRUE(diagnostics.Contains("read error"));
}

// ---- mapped views -----------------------------------------------------------------------------------

TEST_F(FileServer, MappedViewsShowTheRegionAndLeaveTheirList) {
  const std::string text = Numbers(100000);
  WriteFile(folder.File("f.txt"), text);
  platform::FileSystem* fileSystem = platform::CurrentFileSystem();
  const platform::FileHandle file = fileSystem->OpenRead(folder.File("f.txt").c_str());
  ASSERT_TRUE(platform::IsValidFile(file));
  FileMemViewList recent;
  {
    Ref<FileMemView> first = FileMemView::Map(file, 70001, 1000, 5);
    ASSERT_TRUE(first.NotNull());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first->Data()), first->Size()), text.substr(70001, 1000));
    EXPECT_EQ(first->UserValue(), 5);
    Ref<FileMemView> second = FileMemView::Map(file, 0, 10);
    recent.Append(first.GetRef());
    recent.Append(second.GetRef());
    EXPECT_EQ(recent.Count(), 2);
    EXPECT_EQ(recent.First(), first.GetRef());
    EXPECT_EQ(recent.First()->Next(), second.GetRef());
    first.Free();
    EXPECT_EQ(recent.Count(), 1);
    EXPECT_EQ(recent.First(), second.GetRef());
  }
  EXPECT_EQ(recent.Count(), 0);
  EXPECT_EQ(recent.First(), nullptr);
  fileSystem->Close(file);
}

TEST(FileMemViews, FailedMappingIsReported) {
  CaptureDiagnostics diagnostics;
  Ref<FileMemView> view = FileMemView::Map(platform::kInvalidFile, 0, 100);
  EXPECT_TRUE(view.IsNull());
  EXPECT_TRUE(diagnostics.Contains("Memory mapping error "));
}

}  // namespace
