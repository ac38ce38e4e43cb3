// Deltas made by the xdelta3 tool with the authoring side's options decode to byte-identical outputs.
// The cases are generated at run time; they run where the tool is on the PATH (the Linux build),
// and LZMA deltas decode with each LZMA engine the build has. ZR_LARGE_TESTS=1 adds cases of several
// hundred MiB.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/tempFolder.h"
#include "vcdiff/secondaryDecompressor.h"
#include "vcdiff/vcdiffDecoder.h"

namespace {

using Bytes = std::vector<char>;

bool EncoderAvailable() {
  static const bool available = std::system("xdelta3 -V > /dev/null 2>&1") == 0;
  return available;
}

bool LargeTestsWanted() {
  const char* value = std::getenv("ZR_LARGE_TESTS");
  return value && std::string(value) == "1";
}

// File-like content: runs of random bytes, repeated phrases and zero fill, so that the encoder finds
// matches inside the file and secondary compression has something to compress.
Bytes MakeContent(std::size_t size, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  Bytes bytes;
  bytes.reserve(size);
  std::string phrases[16];
  for (std::string& phrase : phrases) {
    for (int i = 0, n = 4 + static_cast<int>(random() % 60); i < n; ++i) phrase += static_cast<char>('a' + random() % 26);
  }
  while (bytes.size() < size) {
    switch (random() % 4) {
      case 0:
        for (int i = 0, n = 1 + static_cast<int>(random() % 512); i < n; ++i) bytes.push_back(static_cast<char>(random()));
        break;
      case 1:
        bytes.insert(bytes.end(), static_cast<std::size_t>(random() % 300), 0);
        break;
      default: {
        const std::string& phrase = phrases[random() % 16];
        bytes.insert(bytes.end(), phrase.begin(), phrase.end());
      }
    }
  }
  bytes.resize(size);
  return bytes;
}

enum class Edit { Identical, Inserts, Deletes, ChangedBlocks, Unrelated };

Bytes ApplyEdit(const Bytes& base, Edit edit, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  if (edit == Edit::Identical) return base;
  if (edit == Edit::Unrelated) return MakeContent(base.size() + base.size() / 7, seed + 1);
  Bytes result;
  result.reserve(base.size() + base.size() / 4);
  std::size_t position = 0;
  const std::size_t step = base.size() / 40 + 1;
  while (position < base.size()) {
    const std::size_t take = std::min(base.size() - position, step / 2 + static_cast<std::size_t>(random() % step));
    result.insert(result.end(), base.begin() + position, base.begin() + position + take);
    position += take;
    const std::size_t amount = 1 + static_cast<std::size_t>(random() % (step / 4 + 1));
    if (edit == Edit::Inserts) {
      const Bytes inserted = MakeContent(amount, random());
      result.insert(result.end(), inserted.begin(), inserted.end());
    } else if (edit == Edit::Deletes) {
      position += std::min(amount, base.size() - position);
    } else {
      const std::size_t changed = std::min(amount, base.size() - position);
      const Bytes replacement = MakeContent(changed, random());
      result.insert(result.end(), replacement.begin(), replacement.end());
      position += changed;
    }
  }
  return result;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool SameContent(const std::string& path, const Bytes& expected) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chunk(1 << 20);
  std::size_t offset = 0;
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got > expected.size() - offset || !std::equal(chunk.begin(), chunk.begin() + got, expected.begin() + offset)) {
      return false;
    }
    offset += got;
  }
  return offset == expected.size();
}

// Encodes target against source with the tool, with and without secondary compression, and checks
// that both deltas decode to the target.
void ExpectRoundTrip(const std::string& name, const Bytes& source, const Bytes& target) {
  TempFolder folder;
  const std::string sourcePath = folder.File("source");
  const std::string targetPath = folder.File("target");
  WriteFile(sourcePath, source);
  WriteFile(targetPath, target);
  for (const char* secondary : {"-S none", ""}) {
    const std::string deltaPath = folder.File("delta");
    const std::string outputPath = folder.File("output");
    const std::string command = std::string("xdelta3 -e -f -I 262144 -W 1048576 -B 268435456 ") + secondary +
                                " -s \"" + sourcePath + "\" \"" + targetPath + "\" \"" + deltaPath + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (vcdiff::LzmaEngine engine : {vcdiff::LzmaEngine::Builtin, vcdiff::LzmaEngine::Liblzma}) {
      if (!vcdiff::SelectLzmaEngine(engine)) continue;
      const char* engineName = engine == vcdiff::LzmaEngine::Builtin ? "builtin" : "liblzma";
      // One window after another, and several at once (more threads than this machine has cores).
      for (int threads : {1, 3}) {
        vcdiff::DecoderOptions options;
        options.threads = threads;
        vcdiff::DecodeError error;
        ASSERT_TRUE(vcdiff::DecodeFile(sourcePath.c_str(), deltaPath.c_str(), outputPath.c_str(), &error, options))
            << name << " " << secondary << " " << engineName << " threads " << threads << ": " << error.text;
        EXPECT_TRUE(SameContent(outputPath, target)) << name << " " << secondary << " " << engineName << " threads "
                                                     << threads;
      }
    }
    vcdiff::SelectLzmaEngine(vcdiff::LzmaEngine::Builtin);
  }
}

void RunEdits(std::size_t size, std::uint64_t seed) {
  const Bytes base = MakeContent(size, seed);
  for (Edit edit : {Edit::Identical, Edit::Inserts, Edit::Deletes, Edit::ChangedBlocks, Edit::Unrelated}) {
    ExpectRoundTrip("edit " + std::to_string(static_cast<int>(edit)) + " of " + std::to_string(size) + " bytes",
                    base, ApplyEdit(base, edit, seed + 10 + static_cast<int>(edit)));
  }
}

}  // namespace

TEST(Interop, EmptyFiles) {
  if (!EncoderAvailable()) GTEST_SKIP() << "needs the xdelta3 tool";
  const Bytes some = MakeContent(100000, 1);
  ExpectRoundTrip("empty to empty", Bytes(), Bytes());
  ExpectRoundTrip("empty to some", Bytes(), some);
  ExpectRoundTrip("some to empty", some, Bytes());
}

TEST(Interop, EditsOfSmallAndMultiWindowFiles) {
  if (!EncoderAvailable()) GTEST_SKIP() << "needs the xdelta3 tool";
  RunEdits(70000, 2);
  RunEdits(3500000, 3);  // several 1 MiB windows
}

TEST(Interop, LargeFiles) {
  if (!EncoderAvailable() || !LargeTestsWanted()) GTEST_SKIP() << "set ZR_LARGE_TESTS=1 (needs the xdelta3 tool)";
  RunEdits(300u << 20, 4);
}
