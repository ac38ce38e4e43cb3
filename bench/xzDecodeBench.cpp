// .xz decoding: our decoder (src/xz/) against liblzma's stream decoder on the same stream, an
// xz -6 stream (CRC-64) of 32 MiB of mixed data: 16 MiB of C++ library headers and 16 MiB of
// executables and libraries from this machine (synthetic text and records fill in what is missing).
// Throughput counts uncompressed bytes. Both decode into one output buffer of the whole size; a
// third run feeds our decoder 64 KiB of input at a time into 1 MiB of output room, as a caller
// reading a file would.

#include <benchmark/benchmark.h>
#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "throughputReporter.h"
#include "xz/xzDecoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPartSize = std::size_t(16) << 20;

void AppendFile(Bytes& to, const std::filesystem::path& path, std::size_t limit) {
  std::ifstream file(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  bytes.resize(std::min(bytes.size(), limit - to.size()));
  to.insert(to.end(), bytes.begin(), bytes.end());
}

// Sorted regular files under `folder` (recursively), up to `limit` bytes in all.
Bytes FilesUnder(const char* folder, std::size_t limit, bool executablesOnly) {
  Bytes bytes;
  std::error_code error;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
    if (entry.is_symlink(error) || !entry.is_regular_file(error)) continue;
    const std::string name = entry.path().filename().string();
    if (executablesOnly && name.find(".so") == std::string::npos) continue;
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    if (bytes.size() >= limit) break;
    AppendFile(bytes, file, limit);
  }
  return bytes;
}

// Fills `bytes` up to kPartSize with words (text) or with small structured records (binary).
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
    Bytes text = FilesUnder("/usr/include/c++", kPartSize, false);
    Bytes binary = FilesUnder("/usr/lib/x86_64-linux-gnu", kPartSize, true);
    std::printf("corpus: %zu bytes of header text, %zu bytes of libraries (the rest synthetic)\n", text.size(),
                binary.size());
    FillSynthetic(text, true);
    FillSynthetic(binary, false);
    text.insert(text.end(), binary.begin(), binary.end());
    return text;
  }();
  return corpus;
}

// xz -6 with a CRC-64, encoded on both cores (the stream then has a few blocks).
const Bytes& Coded() {
  static const Bytes coded = [] {
    lzma_mt mt{};
    mt.threads = 2;
    mt.preset = 6;
    mt.check = LZMA_CHECK_CRC64;
    lzma_stream stream = LZMA_STREAM_INIT;
    Bytes out(lzma_stream_buffer_bound(Corpus().size()));
    if (lzma_stream_encoder_mt(&stream, &mt) != LZMA_OK) return Bytes();
    stream.next_in = Corpus().data();
    stream.avail_in = Corpus().size();
    stream.next_out = out.data();
    stream.avail_out = out.size();
    lzma_ret ret;
    do ret = lzma_code(&stream, LZMA_FINISH); while (ret == LZMA_OK);
    out.resize(ret == LZMA_STREAM_END ? out.size() - stream.avail_out : 0);
    lzma_end(&stream);
    return out;
  }();
  return coded;
}

void Finish(benchmark::State& state, const Bytes& out) {
  if (out != Corpus()) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void XzDecode(benchmark::State& state) {
  const Bytes& coded = Coded();
  Bytes out(Corpus().size());
  for (auto _ : state) {
    xz::XzDecoder decoder;
    std::size_t inPos = 0, outPos = 0;
    if (decoder.Decode(coded.data(), coded.size(), &inPos, out.data(), out.size(), &outPos) != xz::XzStatus::StreamEnd) {
      state.SkipWithError(decoder.Error().text);
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, out);
}

void XzDecodePieces(benchmark::State& state) {
  const Bytes& coded = Coded();
  Bytes out(Corpus().size());
  for (auto _ : state) {
    xz::XzDecoder decoder;
    std::size_t inPos = 0, outPos = 0;
    xz::XzStatus status = xz::XzStatus::Ok;
    while (status == xz::XzStatus::Ok) {
      const std::size_t inEnd = std::min(coded.size(), inPos + (64 << 10));
      const std::size_t outEnd = std::min(out.size(), outPos + (1 << 20));
      status = decoder.Decode(coded.data(), inEnd, &inPos, out.data(), outEnd, &outPos);
    }
    if (status != xz::XzStatus::StreamEnd) {
      state.SkipWithError(decoder.Error().text);
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, out);
}

void LiblzmaDecode(benchmark::State& state) {
  const Bytes& coded = Coded();
  Bytes out(Corpus().size());
  for (auto _ : state) {
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, xz::kDefaultMemoryLimit, 0) != LZMA_OK) {
      state.SkipWithError("liblzma cannot start");
      break;
    }
    stream.next_in = coded.data();
    stream.avail_in = coded.size();
    stream.next_out = out.data();
    stream.avail_out = out.size();
    lzma_ret ret;
    do ret = lzma_code(&stream, LZMA_FINISH); while (ret == LZMA_OK);
    lzma_end(&stream);
    if (ret != LZMA_STREAM_END) {
      state.SkipWithError("liblzma failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, out);
}

BENCHMARK(XzDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LiblzmaDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(XzDecodePieces)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (Coded().empty()) {
    std::fprintf(stderr, "xzDecodeBench: liblzma could not encode the corpus\n");
    return 1;
  }
  std::printf("xz -6 stream: %zu bytes for %zu bytes\n", Coded().size(), Corpus().size());
  ThroughputReporter reporter;
  if (!RunBenchmarks(argc, argv, reporter)) return 1;
  reporter.PrintRatio("xz-decode-vs-liblzma", "XzDecode", "LiblzmaDecode",
                      "our throughput / liblzma throughput (liblzma time / our time)");
  return 0;
}
