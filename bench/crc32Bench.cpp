// CRC-32 throughput over a 256 MiB buffer: ours (the path this processor runs, and the portable
// slicing path), ISA-L's crc32_ieee on the same bytes, and a plain read of the buffer as the memory
// bound. ISA-L's crc32_ieee computes the same MSB-first CRC; called with an initial value of 0 it
// inverts the register on entry and exit itself, giving the check value 0xFC891918 for "123456789".

#include <benchmark/benchmark.h>
#include <isa-l/crc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "El/QStream/crc32.h"
#include "throughputReporter.h"

namespace {

constexpr std::size_t kBufferSize = std::size_t(256) << 20;

const std::vector<std::uint8_t>& Buffer() {
  static const std::vector<std::uint8_t> buffer = [] {
    std::vector<std::uint8_t> bytes(kBufferSize);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      std::memcpy(&bytes[i], &x, 8);
    }
    return bytes;
  }();
  return buffer;
}

void Crc32Ours(benchmark::State& state) {
  const auto& buffer = Buffer();
  for (auto _ : state) benchmark::DoNotOptimize(Crc32Of(buffer.data(), buffer.size()));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(buffer.size()));
}

// Fed 4096 bytes at a time over the first 16 MiB, as a file read in small blocks feeds it.
void Crc32OursSmallPieces(benchmark::State& state) {
  const auto& buffer = Buffer();
  constexpr std::size_t kSpan = std::size_t(16) << 20;
  for (auto _ : state) {
    Crc32 crc;
    for (std::size_t at = 0; at < kSpan; at += 4096) crc.Update(buffer.data() + at, 4096);
    benchmark::DoNotOptimize(crc.Value());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSpan));
}

void Crc32OursSliced(benchmark::State& state) {
  const auto& buffer = Buffer();
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32detail::UpdateSliced(0xFFFFFFFFu, buffer.data(), buffer.size()));
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(buffer.size()));
}

void Crc32IsaL(benchmark::State& state) {
  const auto& buffer = Buffer();
  for (auto _ : state) benchmark::DoNotOptimize(crc32_ieee(0, buffer.data(), buffer.size()));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(buffer.size()));
}

void MemoryRead(benchmark::State& state) {
  const auto& buffer = Buffer();
  for (auto _ : state) {
    std::uint64_t acc = 0;
    for (std::size_t i = 0; i < buffer.size(); i += 8) {
      std::uint64_t w;
      std::memcpy(&w, &buffer[i], 8);
      acc ^= w;
    }
    benchmark::DoNotOptimize(acc);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(buffer.size()));
}

BENCHMARK(Crc32Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32OursSmallPieces)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32OursSliced)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32IsaL)->Unit(benchmark::kMillisecond);
BENCHMARK(MemoryRead)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const auto* digits = reinterpret_cast<const unsigned char*>("123456789");
  const std::uint32_t ours = Crc32Of(digits, 9);
  const std::uint32_t isal = crc32_ieee(0, digits, 9);
  std::printf("check value: ours %08X, ISA-L crc32_ieee(0, ...) %08X; folding %s\n", unsigned(ours),
              unsigned(isal), crc32detail::FoldingAvailable() ? "used" : "not available");
  if (ours != 0xFC891918u || isal != ours) return 1;

  ThroughputReporter reporter;
  if (!RunBenchmarks(argc, argv, reporter)) return 1;
  reporter.PrintRatio("crc32-vs-memory-read", "Crc32Ours", "MemoryRead",
                      "our throughput / plain memory read throughput");
  reporter.PrintRatio("crc32-vs-isal", "Crc32Ours", "Crc32IsaL", "our throughput / ISA-L throughput");
  return 0;
}
