#include "vcdiff/vcdiffDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"
#include "vcdiff/deltaBuilder.h"
#include "vcdiff/secondaryDecompressor.h"

using namespace vcdifftest;
using vcdiff::DecodeStatus;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::string DataFile(const std::string& name) {
  const char* root = std::getenv("ZR_TEST_DATA");
  return std::string(root ? root : "tests/data") + "/vcdiff/" + name;
}

// A source, a delta of two windows (the second copying from the first's output) and the target.
struct Case {
  std::string source = "The quick brown fox jumps over the lazy dog";
  std::string target;
  std::string delta;
  Case() {
    Window first;
    first.From(kSource, 19, 4).Add("A ").Copy(5, 6).Add(" cat").Copy(8, 11);  // "quick brown fox jum"
    Window second;
    second.From(kTarget, 6, 2).Copy(5, 0).Add("!");
    const std::string firstTarget = "A brown cat fox jum";
    target = firstTarget + "brown!";
    delta = Header() + Encode(first, firstTarget) + Encode(second, "brown!");
  }
};

class DecodeFileTest : public ::testing::Test {
 protected:
  void WriteCase(const std::string& delta) {
    WriteFile(source, test.source);
    WriteFile(this->delta, delta);
  }
  vcdiff::DecodeError error;
  TempFolder folder;
  Case test;
  std::string source = folder.File("source.bin");
  std::string delta = folder.File("delta.vcdiff");
  std::string output = folder.File("output.bin");
};

// Fails renames, as a locked or read-only target would.
class FailingRename : public FaultInjectingFileSystem {
 public:
  bool RenameReplacing(const char*, const char*) override { return false; }
};

}  // namespace

TEST_F(DecodeFileTest, WritesTheOutputThroughATemporaryFile) {
  WriteCase(test.delta);
  ASSERT_TRUE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &error)) << error.text;
  EXPECT_EQ(ReadFile(output), test.target);
  EXPECT_FALSE(Exists(output + ".part"));
}

TEST_F(DecodeFileTest, ReplacesAnExistingOutput) {
  WriteCase(test.delta);
  WriteFile(output, "an older and longer output file that must be replaced completely");
  ASSERT_TRUE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &error)) << error.text;
  EXPECT_EQ(ReadFile(output), test.target);
}

TEST_F(DecodeFileTest, DamagedDeltaLeavesNothingAndKeepsTheOldOutput) {
  std::string damaged = test.delta;
  damaged[damaged.size() - 3] ^= 0x55;
  WriteCase(damaged);
  WriteFile(output, "old");
  EXPECT_FALSE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &error));
  EXPECT_EQ(error.status, DecodeStatus::Corrupt);
  EXPECT_EQ(std::string(error.text).rfind(delta + ": window 1: ", 0), 0u) << error.text;
  EXPECT_EQ(ReadFile(output), "old");
  EXPECT_FALSE(Exists(output + ".part"));
}

TEST_F(DecodeFileTest, MissingFiles) {
  WriteFile(delta, test.delta);
  EXPECT_FALSE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &error));
  EXPECT_EQ(error.status, DecodeStatus::ReadFailed);
  EXPECT_EQ(std::string(error.text).rfind("cannot open the source file " + source + ": ", 0), 0u) << error.text;
  EXPECT_FALSE(Exists(output));

  vcdiff::DecodeError noDelta;
  EXPECT_FALSE(vcdiff::DecodeFile(delta.c_str(), folder.File("none").c_str(), output.c_str(), &noDelta));
  EXPECT_EQ(noDelta.status, DecodeStatus::ReadFailed);
  EXPECT_EQ(std::string(noDelta.text).rfind("cannot open the delta ", 0), 0u) << noDelta.text;
  EXPECT_FALSE(Exists(output + ".part"));
}

TEST_F(DecodeFileTest, DeltaWithoutSourceWindowsNeedsNoSource) {
  Window window;
  window.Add("plain");
  WriteFile(delta, Header() + Encode(window, "plain"));
  ASSERT_TRUE(vcdiff::DecodeFile(nullptr, delta.c_str(), output.c_str(), &error)) << error.text;
  EXPECT_EQ(ReadFile(output), "plain");
}

TEST_F(DecodeFileTest, FullDiskRemovesThePartialOutput) {
  WriteCase(test.delta);
  WriteFile(output, "old");
  {
    FaultInjectingFileSystem files;
    files.diskSpace = 10;
    files.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::DiskFull);
    EXPECT_FALSE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &error));
  }
  EXPECT_EQ(error.status, DecodeStatus::WriteFailed);
  EXPECT_EQ(std::string(error.text), "cannot write " + output + ".part: the disk is full");
  EXPECT_EQ(ReadFile(output), "old");
  EXPECT_FALSE(Exists(output + ".part"));
}

TEST_F(DecodeFileTest, FailedWriteAndFailedRenameRemoveThePartialOutput) {
  WriteCase(test.delta);
  {
    FaultInjectingFileSystem files;
    files.failWriteAt = 1;
    EXPECT_FALSE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &error));
  }
  EXPECT_EQ(error.status, DecodeStatus::WriteFailed);
  EXPECT_FALSE(Exists(output + ".part"));

  vcdiff::DecodeError renameError;
  {
    FailingRename files;
    EXPECT_FALSE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &renameError));
  }
  EXPECT_EQ(renameError.status, DecodeStatus::WriteFailed);
  EXPECT_EQ(std::string(renameError.text).rfind("cannot rename " + output + ".part to " + output, 0), 0u)
      << renameError.text;
  EXPECT_FALSE(Exists(output));
  EXPECT_FALSE(Exists(output + ".part"));
}

TEST_F(DecodeFileTest, ReadFailureOfTheDelta) {
  WriteCase(test.delta);
  vcdiff::DecodeError shortRead;
  {
    FaultInjectingFileSystem files;
    files.readFailFrom = 0;
    EXPECT_FALSE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &error));
    files.readFailFrom = 8;  // reads stop short there, as if the file had been cut
    EXPECT_FALSE(vcdiff::DecodeFile(source.c_str(), delta.c_str(), output.c_str(), &shortRead));
  }
  EXPECT_EQ(error.status, DecodeStatus::ReadFailed);
  EXPECT_EQ(std::string(error.text).rfind("cannot read the delta " + delta + ": ", 0), 0u) << error.text;
  EXPECT_EQ(shortRead.status, DecodeStatus::ReadFailed);
  EXPECT_EQ(std::string(shortRead.text), "the delta " + delta + " ends early (it changed while being read)");
  EXPECT_FALSE(Exists(output + ".part"));
}

// Deltas made by the xdelta3 tool and kept with the tests, so that every build decodes real ones
// (LZMA sections included), with each LZMA engine the build has.
TEST(EncoderDeltas, DecodeToTheTarget) {
  TempFolder folder;
  const std::string expected = ReadFile(DataFile("target.bin"));
  ASSERT_EQ(expected.size(), 59000u);
  for (vcdiff::LzmaEngine engine : {vcdiff::LzmaEngine::Builtin, vcdiff::LzmaEngine::Liblzma}) {
    if (!vcdiff::SelectLzmaEngine(engine)) continue;
    for (const char* name : {"none.vcdiff", "lzma.vcdiff", "lzma-windows.vcdiff"}) {
      const std::string output = folder.File(std::string(name) + ".out");
      vcdiff::DecodeError error;
      ASSERT_TRUE(vcdiff::DecodeFile(DataFile("source.bin").c_str(), DataFile(name).c_str(), output.c_str(), &error))
          << name << ": " << error.text;
      EXPECT_EQ(ReadFile(output), expected) << name;
    }
  }
  vcdiff::SelectLzmaEngine(vcdiff::LzmaEngine::Builtin);
}
