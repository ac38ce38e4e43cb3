// Applying a version step to a generated installation of about 1 GiB in 200 files (large and small
// deltas, unchanged, new and deleted files), three ways in the same run:
//   StepOurs            ApplyStep with its journal: deltas decoded from the store's bytes by the linked
//                       decoder, every written file verified from the checksum computed while it was
//                       written and made durable before it replaces the old one;
//   StepProcessPerFile  the plain way: each entry extracted to a file, the xdelta3 tool run as a process
//                       for each delta, the old file deleted, the new one renamed and read back to verify;
//   Floor               reading every installed file once and writing every changed file once;
//   DurableFloor        the same, each written file flushed to the disk before it is closed, as the
//                       step does so that a power cut leaves every file old or new.
// Before each round the installation is restored from a pristine copy (not timed). The deltas are
// made once by the xdelta3 tool with the authoring side's options and kept in
// $ZR_BENCH_DIR (default /tmp/zr-apply-bench). Ends with
//   ratio apply-vs-process-per-file <their time / ours>
//   ratio apply-vs-floor <floor time / ours>
//   ratio apply-vs-durable-floor <durable floor time / ours>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "patch/patchStore.h"
#include "patch/stepApplication.h"
#include "patch/stepJournal.h"
#include "platform/process.h"
#include "support/memoryEntrySource.h"
#include "throughputReporter.h"

namespace {

namespace fs = std::filesystem;

struct BenchFile {
  std::string name;  // relative, with '/'
  std::size_t size;
  char kind;  // 'U' changed (delta), 'E' equal, 'N' new, 'D' deleted
};

// 4 files of 150 MiB, 36 of 8 MiB, 160 small ones: about 1.0 GiB installed.
std::vector<BenchFile> Layout() {
  std::vector<BenchFile> files;
  for (int i = 0; i < 4; ++i) files.push_back({"data/large" + std::to_string(i) + ".pak", std::size_t(150) << 20, i < 3 ? 'U' : 'E'});
  for (int i = 0; i < 36; ++i) files.push_back({"data/medium" + std::to_string(i) + ".pak", std::size_t(8) << 20, i % 3 ? 'U' : 'E'});
  for (int i = 0; i < 160; ++i) {
    const char kind = i % 16 == 0 ? 'D' : i % 16 == 1 ? 'N' : i % 4 == 2 ? 'U' : 'E';
    files.push_back({"maps/level" + std::to_string(i / 20) + "/part" + std::to_string(i) + ".map",
                     std::size_t(64 + (i * 37) % 900) << 10, kind});
  }
  return files;
}

std::uint64_t state = 0x9E3779B97F4A7C15ull;
std::uint64_t Next() {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

// Game-like bytes: stretches of random bytes between stretches of repeated records, so that the
// deltas' secondary compression has work.
std::string Content(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t at = 0; at < size; at += 8) {
    const std::uint64_t value = (at / 4096) % 2 ? Next() : 0x0001000200030004ull + (at / 4096);
    for (std::size_t i = 0; i < 8 && at + i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
  }
  return bytes;
}

// The new version of a changed file: every 1 MiB a changed 4 KiB stretch, and a few insertions.
std::string Changed(std::string bytes) {
  for (std::size_t at = 1000; at + 4096 < bytes.size(); at += 1 << 20) {
    for (std::size_t i = 0; i < 4096; i += 8) bytes[at + i] = static_cast<char>(Next());
  }
  for (std::size_t at = bytes.size() / 3; at < bytes.size(); at += bytes.size() / 3 + 1) bytes.insert(at, Content(1500));
  return bytes;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Upper(std::string text) {
  for (char& c : text) c = c == '/' ? '\\' : (c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
  return text;
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

// The generated data: old tree, new tree, deltas; made once and kept.
struct Data {
  fs::path root;
  std::vector<BenchFile> files;
  MemoryEntrySource store;
  std::uint64_t installedBytes = 0;
  bool ready = false;
};

Data& Generated() {
  static Data data;
  if (data.ready) return data;
  const char* dir = std::getenv("ZR_BENCH_DIR");
  data.root = dir && *dir ? dir : "/tmp/zr-apply-bench";
  data.files = Layout();
  const fs::path stamp = data.root / "complete-1";
  if (!fs::exists(stamp)) {
    fs::remove_all(data.root);
    for (const BenchFile& file : data.files) {
      const std::string old = Content(file.size);
      if (file.kind != 'N') WriteFile(data.root / "old" / file.name, old);
      if (file.kind == 'D') continue;
      const std::string now = file.kind == 'U' ? Changed(old) : old;
      WriteFile(data.root / "new" / file.name, now);
      if (file.kind == 'U') {
        fs::create_directories((data.root / "delta" / file.name).parent_path());
        const std::string command = "xdelta3 -e -f -I 262144 -W 1048576 -B 268435456 -s \"" +
                                    (data.root / "old" / file.name).string() + "\" \"" +
                                    (data.root / "new" / file.name).string() + "\" \"" +
                                    (data.root / "delta" / file.name).string() + "\"";
        if (std::system(command.c_str()) != 0) {
          std::fprintf(stderr, "applyBench: %s failed\n", command.c_str());
          std::exit(1);
        }
      }
    }
    std::ofstream(stamp) << "done\n";
  }
  std::string list;
  for (const BenchFile& file : data.files) {
    const std::string entry = "1.05-1.06\\" + Upper(file.name);
    if (file.kind != 'N') data.installedBytes += fs::file_size(data.root / "old" / file.name);
    switch (file.kind) {
      case 'U': data.store.Add(entry + ".UPD", ReadFile(data.root / "delta" / file.name)); break;
      case 'E': data.store.Add(entry + ".EQU", "E"); break;
      case 'N': data.store.Add(entry + ".NEW", ReadFile(data.root / "new" / file.name)); break;
      case 'D': data.store.Add(entry + ".DEL", "X"); break;
    }
    if (file.kind != 'D') {
      const std::string bytes = ReadFile(data.root / "new" / file.name);
      list += Upper(file.name) + " " + Hex(Crc32Of(bytes.data(), bytes.size())) + "\n";
    }
  }
  data.store.Add("CRC\\1.06\\CRC.CRC", list);
  data.ready = true;
  return data;
}

// The installation at the old version, restored by copying the pristine tree (hard links would share
// the files the step replaces by rename, which is what it does; a copy keeps the rounds alike).
fs::path Restore(const Data& data) {
  const fs::path install = data.root / "install";
  fs::remove_all(install);
  fs::copy(data.root / "old", install, fs::copy_options::recursive);
  // The copy's pages reach the disk before the clock runs, so that no way pays for the last one's writes.
  ::sync();
  return install;
}

void StepOurs(benchmark::State& state) {
  Data& data = Generated();
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path install = Restore(data);
    DynArray<RefString> uninstall;
    patch::PatchJob job;
    job.uninstall = &uninstall;
    job.store = &data.store;
    job.destination = (install.string() + "/").c_str();
    job.prefix = "1.05-";
    job.sourceMajor = job.targetMajor = 1;
    job.sourceMinor = 5;
    job.targetMinor = 6;
    patch::CollectEntries(job);
    // The journal a run keeps, so that an interrupted run can be completed.
    patch::StepJournal journal;
    journal.Open(patch::StepJournal::PathIn(install.string() + "/"));
    job.journal = &journal;
    state.ResumeTiming();
    if (!patch::ApplyStep(job)) state.SkipWithError(("step failed at " + std::string(job.failedFile.Data())).c_str());
    journal.Remove();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.installedBytes));
}

// Each entry written to a file, the tool run for each delta, the old file deleted, the output renamed
// into place and read back for its checksum.
void StepProcessPerFile(benchmark::State& state) {
  Data& data = Generated();
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path install = Restore(data);
    state.ResumeTiming();
    for (const BenchFile& file : data.files) {
      const fs::path target = install / file.name;
      const char* suffix = file.kind == 'U' ? ".UPD" : file.kind == 'E' ? ".EQU" : file.kind == 'N' ? ".NEW" : ".DEL";
      const std::string entry = "1.05-1.06\\" + Upper(file.name) + suffix;
      const fs::path payload = target.string() + suffix;
      patch::ExtractEntry(data.store, entry.c_str(), payload.string().c_str());
      const fs::path output = target.string() + ".tmp";
      if (file.kind == 'U') {
        const std::string command = "xdelta3 -f -d -s \"" + target.string() + "\" \"" + payload.string() + "\" \"" +
                                    output.string() + "\"";
        const platform::ProcessRun run = platform::RunProcess(command.c_str(), nullptr, platform::kDeltaToolStart);
        if (!run.started || run.exitCode != 0) state.SkipWithError("xdelta3 failed");
      } else if (file.kind == 'N') {
        fs::copy_file(payload, output, fs::copy_options::overwrite_existing);
      } else if (file.kind == 'D') {
        fs::remove(target);
      }
      fs::remove(payload);
      if (file.kind == 'U' || file.kind == 'N') {
        fs::remove(target);
        fs::rename(output, target);
        std::uint32_t crc = 0;
        Crc32OfFile(target.string().c_str(), &crc);
        benchmark::DoNotOptimize(crc);
      }
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.installedBytes));
}

// Every installed file read once, every changed or new file written once (and made durable).
void ReadAndWrite(benchmark::State& state, bool durable) {
  Data& data = Generated();
  std::map<std::string, std::string> written;
  for (const BenchFile& file : data.files) {
    if (file.kind == 'U' || file.kind == 'N') written[file.name] = ReadFile(data.root / "new" / file.name);
  }
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path install = Restore(data);
    state.ResumeTiming();
    for (const BenchFile& file : data.files) {
      if (file.kind == 'N') continue;
      std::FILE* in = std::fopen((install / file.name).string().c_str(), "rb");
      while (in && std::fread(buffer.data(), 1, buffer.size(), in) == buffer.size()) {
      }
      if (in) std::fclose(in);
    }
    for (const auto& file : written) {
      std::FILE* out = std::fopen((install / (file.first + ".tmp")).string().c_str(), "wb");
      if (out) {
        std::fwrite(file.second.data(), 1, file.second.size(), out);
        std::fflush(out);
        if (durable) ::fsync(::fileno(out));
        std::fclose(out);
      }
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.installedBytes));
}

void Floor(benchmark::State& state) { ReadAndWrite(state, false); }
void DurableFloor(benchmark::State& state) { ReadAndWrite(state, true); }

BENCHMARK(StepOurs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(StepProcessPerFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(Floor)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(DurableFloor)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  ThroughputReporter reporter;
  if (!RunBenchmarks(argc, argv, reporter)) return 1;
  reporter.PrintRatio("apply-vs-process-per-file", "StepOurs", "StepProcessPerFile",
                      "process-per-file step time / our step time (warm files)");
  reporter.PrintRatio("apply-vs-floor", "StepOurs", "Floor",
                      "time to read every installed file and write every changed one / our step time");
  reporter.PrintRatio("apply-vs-durable-floor", "StepOurs", "DurableFloor",
                      "the same with every written file flushed to the disk / our step time");
  return 0;
}
