// A version step over many small files, as a patch run carries it out: the installation verified
// against its list, the step applied with its journal (a third of the files changed by deltas, some
// deleted, some added), every file of the new version checked at the end, and the uninstall log
// written. The same step at 10,000 and at 100,000 files (in folders of 100, every kind of entry in the
// same proportion) shows whether the run's cost grows with the number of files or faster:
//   Step10k, Step100k   the run's file work over the two installations;
//   Floor100k           reading every installed file of the larger one once and writing every
//                       changed or new file once;
//   DurableFloor100k    the same, each written file flushed to the disk before it is closed.
// Before each round the installation is copied afresh from a pristine one into a folder of its own
// (not timed); the rounds' folders are deleted when the program ends, not between rounds: ext4 passes
// over the inodes freed in the last minutes whenever it allocates one, so deleting 100,000 files just
// before a round would make every file that round creates pay for them. The pristine trees are written
// once to $ZR_BENCH_DIR (default /tmp/zr-step-files-bench). Ends with
//   ratio step-files-linearity <10 x t(10k) / t(100k)>
//   ratio step-100k-files-vs-floor <floor time / our time>
//   ratio step-100k-files-vs-durable-floor <durable floor time / our time>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "install/uninstallLog.h"
#include "patch/checksumListCache.h"
#include "patch/installationBoundary.h"
#include "patch/knownChecksums.h"
#include "patch/patchStore.h"
#include "patch/stepApplication.h"
#include "patch/stepJournal.h"
#include "patch/verification.h"
#include "support/stepPatch.h"
#include "throughputReporter.h"

namespace {

namespace fs = std::filesystem;

// Every pattern repeats each 100 files, so the larger installation is exactly ten of the smaller.
constexpr int kPeriod = 100;

// The kind of file i: 'U' changed (a third), 'D' deleted, 'E' equal; a new file is added beside each
// file whose position in its period is 2 or 52.
char Kind(int i) {
  const int at = i % kPeriod;
  if (at % 3 == 0) return 'U';
  return at == 1 || at == 51 ? 'D' : 'E';
}
bool AddsNew(int i) { return i % kPeriod == 2 || i % kPeriod == 52; }

std::string Content(int i, std::size_t size) {
  std::uint64_t x = 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(i + 1);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x);
  }
  return bytes;
}

// 256 bytes to about 4 KiB.
std::size_t Size(int i) { return 256 + static_cast<std::size_t>((i * 37) % kPeriod) * 40; }

std::string Folder(int i) { return "DATA\\SET" + std::to_string(i / kPeriod) + "\\"; }

struct Installation {
  int files = 0;
  fs::path root;
  fs::path pristine;  // the old version, never changed
  int rounds = 0;     // installations copied from it so far, one for each round
  MemoryEntrySource store;
  std::uint64_t installedBytes = 0;
  std::map<std::string, std::string> written;  // relative path with '/' -> new content (changed and new files)
};

std::string WithSlashes(std::string path) {
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

Installation& Generated(int files) {
  static std::map<int, std::unique_ptr<Installation>> made;
  std::unique_ptr<Installation>& slot = made[files];
  if (slot) return *slot;
  slot.reset(new Installation);
  Installation& data = *slot;
  data.files = files;
  const char* dir = std::getenv("ZR_BENCH_DIR");
  const fs::path root = fs::path(dir && *dir ? dir : "/tmp/zr-step-files-bench") / std::to_string(files);
  data.root = root;
  data.pristine = root / "old";
  steppatch::Tree before, after;
  for (int i = 0; i < files; ++i) {
    const std::string name = Folder(i) + "FILE" + std::to_string(i) + ".DAT";
    const std::string old = Content(i, Size(i));
    before[name] = old;
    data.installedBytes += old.size();
    if (Kind(i) == 'E') after[name] = old;
    if (Kind(i) == 'U') after[name] = old.substr(0, old.size() / 2) + Content(i + files, old.size() / 2 + 100);
    if (AddsNew(i)) after[Folder(i) + "NEW" + std::to_string(i) + ".DAT"] = Content(i + 2 * files, Size(i));
  }
  for (const auto& file : after) {
    const auto old = before.find(file.first);
    if (old == before.end() || old->second != file.second) data.written[WithSlashes(file.first)] = file.second;
  }
  steppatch::AddStep(data.store, 1, 5, 6, before, after);
  const fs::path stamp = root / "complete-1";
  if (!fs::exists(stamp)) {
    fs::remove_all(root);
    if (!steppatch::WriteTree(data.pristine, before)) {
      std::fprintf(stderr, "stepFilesBench: cannot write %s\n", data.pristine.string().c_str());
      std::exit(1);
    }
    std::ofstream(stamp) << "done\n";
  }
  return data;
}

// A fresh copy of the old version for one round.
fs::path Restore(Installation& data) {
  const fs::path install = data.root / ("install-" + std::to_string(++data.rounds));
  fs::remove_all(install);
  fs::copy(data.pristine, install, fs::copy_options::recursive);
  // The copy reaches the disk before the clock runs, so that no round pays for the last one's writes.
  ::sync();
  return install;
}

// The rounds' installations, removed once every benchmark has run.
void RemoveRounds() {
  for (const char* files : {"10000", "100000"}) {
    const char* dir = std::getenv("ZR_BENCH_DIR");
    const fs::path root = fs::path(dir && *dir ? dir : "/tmp/zr-step-files-bench") / files;
    std::error_code error;
    if (!fs::exists(root, error)) continue;
    for (const auto& entry : fs::directory_iterator(root, error)) {
      if (entry.path().filename().string().rfind("install-", 0) == 0) fs::remove_all(entry.path(), error);
    }
  }
}

// The file work of a run over one step: verification, the step with its journal, the check of the
// version reached and the uninstall log, inside the installation's boundary as a run has it.
bool RunStep(Installation& data, const fs::path& installed, std::string* failure) {
  DynArray<RefString> uninstall;
  patch::InstallationBoundary boundary([](const std::string&) {});
  const std::string folder = installed.string() + "/";
  boundary.AddFolder(folder);
  patch::KnownChecksums known;
  patch::ChecksumListCache lists;
  patch::PatchJob job;
  job.uninstall = &uninstall;
  job.store = &data.store;
  job.destination = folder.c_str();
  job.sourceMajor = job.targetMajor = 1;
  job.sourceMinor = 5;
  job.targetMinor = 6;
  job.known = &known;
  job.lists = &lists;
  if (patch::VerifyInstallation(job, "", {}, true, false) != patch::kVerified) {
    *failure = "the installation does not verify";
    return false;
  }
  patch::StepJournal journal;
  journal.Open(patch::StepJournal::PathIn(folder));
  job.journal = &journal;
  job.prefix = "1.05-";
  patch::CollectEntries(job);
  if (!patch::ApplyStep(job)) {
    *failure = "step failed at " + std::string(job.failedFile.Data());
    return false;
  }
  std::string failed;
  if (!patch::VerifyReachedVersion(job, {}, &failed)) {
    *failure = "the version reached does not verify at " + failed;
    return false;
  }
  if (!install::WriteUninstallLog(uninstall, folder.c_str(), failure)) return false;
  journal.Remove();
  return true;
}

void Step(benchmark::State& state, int files) {
  Installation& data = Generated(files);
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path install = Restore(data);
    state.ResumeTiming();
    std::string failure;
    if (!RunStep(data, install, &failure)) state.SkipWithError(failure.c_str());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.installedBytes));
  state.counters["files"] = files;
}

// Every installed file read once, every changed or new file written once beside it (and made durable).
void ReadAndWrite(benchmark::State& state, int files, bool durable) {
  Installation& data = Generated(files);
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path install = Restore(data);
    state.ResumeTiming();
    for (const auto& entry : fs::recursive_directory_iterator(install)) {
      if (!entry.is_regular_file()) continue;
      std::FILE* in = std::fopen(entry.path().string().c_str(), "rb");
      while (in && std::fread(buffer.data(), 1, buffer.size(), in) == buffer.size()) {
      }
      if (in) std::fclose(in);
    }
    for (const auto& file : data.written) {
      std::FILE* out = std::fopen((install / (file.first + ".tmp")).string().c_str(), "wb");
      if (!out) continue;
      std::fwrite(file.second.data(), 1, file.second.size(), out);
      std::fflush(out);
      if (durable) ::fsync(::fileno(out));
      std::fclose(out);
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.installedBytes));
}

void Step10k(benchmark::State& state) { Step(state, 10000); }
void Step100k(benchmark::State& state) { Step(state, 100000); }
void Floor100k(benchmark::State& state) { ReadAndWrite(state, 100000, false); }
void DurableFloor100k(benchmark::State& state) { ReadAndWrite(state, 100000, true); }

BENCHMARK(Step10k)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(Step100k)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(Floor100k)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(DurableFloor100k)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  ThroughputReporter reporter;
  RemoveRounds();  // left by a run that was interrupted
  const bool ran = RunBenchmarks(argc, argv, reporter);
  RemoveRounds();
  if (!ran) return 1;
  // Bytes per second of the larger installation over those of the smaller one, ten times as large:
  // 10 x t(10k) / t(100k), 1 when the cost grows with the number of files alone.
  reporter.PrintRatio("step-files-linearity", "Step100k", "Step10k",
                      "10 x time of the step over 10,000 files / time over 100,000 files (goal 0.8)");
  reporter.PrintRatio("step-100k-files-vs-floor", "Step100k", "Floor100k",
                      "time to read every installed file and write every changed one / our step time, 100,000 files");
  reporter.PrintRatio("step-100k-files-vs-durable-floor", "Step100k", "DurableFloor100k",
                      "the same with every written file flushed to the disk / our step time, 100,000 files");
  return 0;
}
