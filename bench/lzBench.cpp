// LZ codec throughput on a mixed corpus of 8 MiB (4 MiB of C++ library headers and 4 MiB of an
// executable, from this machine's toolchain; synthetic text and binary when those are missing):
// decoding from memory against zlib's inflate, and encoding against zlib's deflate at level 6, on the
// same bytes. Throughput counts uncompressed bytes in both directions.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "El/QStream/qstream.h"
#include "El/QStream/ssCompress.h"
#include "throughputReporter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPartSize = std::size_t(4) << 20;

void AppendFile(Bytes& to, const std::filesystem::path& path, std::size_t limit) {
  std::ifstream file(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  bytes.resize(std::min(bytes.size(), limit - to.size()));
  to.insert(to.end(), bytes.begin(), bytes.end());
}

Bytes HeaderText() {
  Bytes text;
  std::error_code error;
  std::vector<std::filesystem::path> headers;
  for (const auto& version : std::filesystem::directory_iterator("/usr/include/c++", error)) {
    for (const auto& file : std::filesystem::recursive_directory_iterator(version.path(), error)) {
      if (file.is_regular_file()) headers.push_back(file.path());
    }
    if (!headers.empty()) break;
  }
  std::sort(headers.begin(), headers.end());
  for (const auto& header : headers) {
    if (text.size() >= kPartSize) break;
    AppendFile(text, header, kPartSize);
  }
  return text;
}

Bytes ExecutableBytes() {
  Bytes binary;
  for (const char* name : {"/usr/bin/cmake", "/usr/bin/clang-14", "/usr/bin/gdb"}) {
    if (binary.size() < kPartSize) AppendFile(binary, name, kPartSize);
  }
  return binary;
}

// Fills `bytes` up to `size` with words (text) or with small structured records (binary).
void FillSynthetic(Bytes& bytes, bool text) {
  static const char* const kWords[] = {"class ", "template ", "typename ", "return ", "{\n", "}\n",
                                       "const ", "std::size_t ", "_M_impl", "  ", ";\n", "value"};
  std::uint32_t x = 12345;
  while (bytes.size() < kPartSize) {
    x = x * 1103515245u + 12345u;
    if (text) {
      const char* word = kWords[(x >> 16) % 12];
      bytes.insert(bytes.end(), word, word + std::char_traits<char>::length(word));
    } else {
      const std::uint32_t record[2] = {std::uint32_t(bytes.size() / 8), (x >> 20)};
      const auto* p = reinterpret_cast<const std::uint8_t*>(record);
      bytes.insert(bytes.end(), p, p + sizeof record);
    }
  }
  bytes.resize(kPartSize);
}

const Bytes& Corpus() {
  static const Bytes corpus = [] {
    Bytes text = HeaderText();
    Bytes binary = ExecutableBytes();
    std::printf("corpus: %zu bytes of header text%s, %zu bytes of executable%s\n", text.size(),
                text.size() < kPartSize ? " (filled up with synthetic text)" : "", binary.size(),
                binary.size() < kPartSize ? " (filled up with synthetic records)" : "");
    FillSynthetic(text, true);
    FillSynthetic(binary, false);
    text.insert(text.end(), binary.begin(), binary.end());
    return text;
  }();
  return corpus;
}

const Bytes& OursCoded() {
  static const Bytes coded = [] {
    auto work = std::make_unique<SSCompress>();
    QOStrStream out;
    work->Encode(out, Corpus().data(), Corpus().size());
    const auto* data = reinterpret_cast<const std::uint8_t*>(out.Data());
    return Bytes(data, data + out.GetTotalSize());
  }();
  return coded;
}

const Bytes& ZlibCoded() {
  static const Bytes coded = [] {
    uLongf size = compressBound(uLong(Corpus().size()));
    Bytes bytes(size);
    compress2(bytes.data(), &size, Corpus().data(), uLong(Corpus().size()), 6);
    bytes.resize(size);
    return bytes;
  }();
  return coded;
}

void LzDecode(benchmark::State& state) {
  const Bytes& coded = OursCoded();
  Bytes out(Corpus().size());
  auto work = std::make_unique<SSCompress>();
  for (auto _ : state) {
    if (!work->Decode(out.data(), std::int64_t(out.size()), coded.data(), coded.size())) {
      state.SkipWithError("decode failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != Corpus()) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

// The same block through a memory input stream, as the serializer reads coded blocks.
void LzDecodeStream(benchmark::State& state) {
  const Bytes& coded = OursCoded();
  Bytes out(Corpus().size());
  auto work = std::make_unique<SSCompress>();
  for (auto _ : state) {
    QIStrStream in(coded.data(), int(coded.size()));
    if (!work->Decode(out.data(), std::int64_t(out.size()), in)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void ZlibInflate(benchmark::State& state) {
  const Bytes& coded = ZlibCoded();
  Bytes out(Corpus().size());
  for (auto _ : state) {
    uLongf size = uLongf(out.size());
    if (uncompress(out.data(), &size, coded.data(), uLong(coded.size())) != Z_OK) {
      state.SkipWithError("inflate failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void LzEncode(benchmark::State& state) {
  auto work = std::make_unique<SSCompress>();
  for (auto _ : state) {
    QOStrStream out;
    work->Encode(out, Corpus().data(), Corpus().size());
    benchmark::DoNotOptimize(out.Data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(Corpus().size()));
}

void ZlibDeflate6(benchmark::State& state) {
  Bytes out(compressBound(uLong(Corpus().size())));
  for (auto _ : state) {
    uLongf size = uLongf(out.size());
    compress2(out.data(), &size, Corpus().data(), uLong(Corpus().size()), 6);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(Corpus().size()));
}

BENCHMARK(LzDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(LzDecodeStream)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(LzEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibDeflate6)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::printf("coded sizes: ours %zu, zlib level 6 %zu, of %zu bytes\n", OursCoded().size(),
              ZlibCoded().size(), Corpus().size());
  ThroughputReporter reporter;
  if (!RunBenchmarks(argc, argv, reporter)) return 1;
  reporter.PrintRatio("lz-decode-vs-inflate", "LzDecode", "ZlibInflate",
                      "our throughput / zlib inflate throughput");
  reporter.PrintRatio("lz-encode-vs-deflate6", "LzEncode", "ZlibDeflate6",
                      "our throughput / zlib deflate-6 throughput");
  return 0;
}
