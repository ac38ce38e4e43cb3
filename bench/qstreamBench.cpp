// Reading an installed file through the file input stream in 4096-byte blocks (as the checksum
// verification of a file does), against the C library's buffered fread of the same blocks from the
// same cached file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "El/QStream/qstream.h"
#include "throughputReporter.h"

namespace {

constexpr std::size_t kFileSize = 32u << 20;
constexpr int kBlock = 4096;

const std::string& TestFile() {
  static const std::string name = [] {
    const std::string path = (std::filesystem::temp_directory_path() / "zr-qstream-bench.bin").string();
    std::vector<char> bytes(kFileSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 13);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
  }();
  return name;
}

void QIFStreamRead(benchmark::State& state) {
  char block[kBlock];
  for (auto _ : state) {
    QIFStream in;
    in.open(TestFile().c_str());
    std::uint32_t sum = 0;
    while (const int got = in.read(block, kBlock)) sum += static_cast<unsigned char>(block[got - 1]);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFileSize));
}

void FreadRead(benchmark::State& state) {
  char block[kBlock];
  for (auto _ : state) {
    std::FILE* file = std::fopen(TestFile().c_str(), "rb");
    std::uint32_t sum = 0;
    while (const std::size_t got = std::fread(block, 1, kBlock, file)) {
      sum += static_cast<unsigned char>(block[got - 1]);
    }
    std::fclose(file);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kFileSize));
}

BENCHMARK(QIFStreamRead)->Unit(benchmark::kMillisecond);
BENCHMARK(FreadRead)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ThroughputReporter reporter;
  const bool ran = RunBenchmarks(argc, argv, reporter);
  std::filesystem::remove(TestFile());
  if (!ran) return 1;
  reporter.PrintRatio("qstream-read-vs-fread", "QIFStreamRead", "FreadRead",
                      "file input stream throughput / C library fread throughput");
  return 0;
}
