// Verification of a generated installation against its checksum list, beside the plain way to learn
// the same checksums: read every file once with fread into a 1 MiB buffer and run ISA-L's crc32_ieee
// over it. Both run over warm files (a first pass reads them into the page cache). The installation
// holds files from 0 bytes to 1 GiB, ZR_BENCH_VERIFY_MIB MiB in all (default 2200).
//
// Ends with "ratio verify-vs-read-crc <their time / our time> ...".

#include <benchmark/benchmark.h>
#include <isa-l/crc.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "patch/verification.h"
#include "throughputReporter.h"
#include "support/memoryEntrySource.h"

namespace {

struct Installation {
  std::filesystem::path folder;
  std::vector<std::pair<std::string, std::uint64_t>> files;  // relative name, size
  std::uint64_t bytes = 0;
  MemoryEntrySource store;

  ~Installation() {
    std::error_code error;
    if (!folder.empty()) std::filesystem::remove_all(folder, error);
  }
};

void WriteFile(const std::filesystem::path& path, std::uint64_t size, std::uint64_t seed) {
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  std::ofstream out(path, std::ios::binary);
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (std::uint64_t written = 0; written < size;) {
    for (auto& word : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      word = x;
    }
    const std::uint64_t piece = size - written < (1u << 20) ? size - written : (1u << 20);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(piece));
    written += piece;
  }
}

Installation& TheInstallation() {
  static Installation installation = [] {
    Installation made;
    const char* mib = std::getenv("ZR_BENCH_VERIFY_MIB");
    const std::uint64_t total = (mib ? std::strtoull(mib, nullptr, 10) : 2200) << 20;
    made.folder = std::filesystem::temp_directory_path() / ("zr-verify-bench-" + std::to_string(std::rand()));
    std::filesystem::create_directories(made.folder / "data");
    // Large files halving from 1 GiB, then 300 small ones from 0 bytes to 1 MiB.
    std::vector<std::uint64_t> sizes;
    for (std::uint64_t size = std::uint64_t(1) << 30; size >= (std::uint64_t(1) << 20) && made.bytes + size <= total; size /= 2) {
      sizes.push_back(size);
      made.bytes += size;
    }
    for (int i = 0; i < 300; ++i) {
      const std::uint64_t size = (std::uint64_t(i) * 3499) % (1 << 20);
      sizes.push_back(size);
      made.bytes += size;
    }
    std::string list;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const std::string name = "data/file" + std::to_string(i) + ".pak";
      WriteFile(made.folder / name, sizes[i], i);
      made.files.emplace_back(name, sizes[i]);
      std::uint32_t crc = 0;
      Crc32OfFile((made.folder / name).string().c_str(), &crc);
      char line[128];
      std::snprintf(line, sizeof line, "%s%s %08x\n", sizes[i] == 0 ? "+" : "", name.c_str(), crc);
      list += line;
    }
    made.store.Add("CRC\\1.05\\CRC.CRC", list);
    std::printf("installation: %zu files, %.0f MiB\n", made.files.size(), made.bytes / 1048576.0);
    return made;
  }();
  return installation;
}

void VerifyInstallationOurs(benchmark::State& state) {
  Installation& installation = TheInstallation();
  patch::PatchJob job;
  job.store = &installation.store;
  job.destination = (installation.folder.string() + "/").c_str();
  job.sourceMajor = 1;
  job.sourceMinor = 5;
  patch::VerifyInstallation(job, "", {}, true, false);  // warms the page cache
  for (auto _ : state) {
    if (patch::VerifyInstallation(job, "", {}, true, false) != patch::kVerified) state.SkipWithError("not verified");
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(installation.bytes));
}

void ReadAndCrcIsal(benchmark::State& state) {
  Installation& installation = TheInstallation();
  std::vector<unsigned char> buffer(1 << 20);
  for (auto _ : state) {
    for (const auto& file : installation.files) {
      std::FILE* in = std::fopen((installation.folder / file.first).string().c_str(), "rb");
      if (!in) continue;
      std::setvbuf(in, nullptr, _IONBF, 0);
      std::uint32_t crc = 0;
      for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
        crc = crc32_ieee(crc, buffer.data(), got);
      }
      std::fclose(in);
      benchmark::DoNotOptimize(crc);
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(installation.bytes));
}

BENCHMARK(VerifyInstallationOurs)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();
BENCHMARK(ReadAndCrcIsal)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  ThroughputReporter reporter;
  if (!RunBenchmarks(argc, argv, reporter)) return 1;
  reporter.PrintRatio("verify-vs-read-crc", "VerifyInstallationOurs", "ReadAndCrcIsal",
                      "plain read + ISA-L CRC time / our verification time (warm files)");
  return 0;
}
