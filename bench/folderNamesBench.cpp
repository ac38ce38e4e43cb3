// New files created through the platform's file system in a Wine prefix, as a step creates them: each
// written under a temporary name and renamed to its own, named in another case than the folders on
// the disk. On Linux every name that is not spelled as on the disk is matched against the folder's
// entries, so the cost of a new file must not grow with the number of files already in its folder:
//   OneFolder    10,000 new files in one folder;
//   Folders100   the same 10,000 files in folders of 100;
//   SystemOneFolder, SystemFolders100   the anchors: the same files made by the system calls alone,
//                named as on the disk (what the file system itself costs for a large folder).
// Nothing is flushed: the figure is the name handling, not the disk. Each round writes into a prefix
// of its own under $ZR_BENCH_DIR/folder-names (default /tmp/zr-folder-names-bench), made before the
// clock runs and removed when the program ends. Ends with
//   ratio folder-names-one-folder-vs-folders-of-100 <t(folders of 100) / t(one folder)>
//   ratio folder-names-system-one-folder-vs-folders-of-100 <the same for the system calls alone>
//   ratio folder-names-one-folder-vs-system-calls <t(system calls, one folder) / t(one folder)>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/fileSystem.h"
#include "platform/machine.h"
#include "throughputReporter.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;
const std::string kContent(256, 'x');

// A folder of this program's own (removed at the end), also where $ZR_BENCH_DIR holds other trees.
fs::path BenchRoot() {
  const char* dir = std::getenv("ZR_BENCH_DIR");
  return dir && *dir ? fs::path(dir) / "folder-names" : fs::path("/tmp/zr-folder-names-bench");
}

// A prefix with an empty game folder, selected for the round.
fs::path FreshPrefix() {
  static int rounds = 0;
  const fs::path prefix = BenchRoot() / ("prefix-" + std::to_string(++rounds));
  fs::remove_all(prefix);
  fs::create_directories(prefix / "drive_c" / "Games" / "Example" / "Data");
  std::string error;
  if (!platform::SelectPrefix(prefix.string().c_str(), &error)) {
    std::fprintf(stderr, "folderNamesBench: %s\n", error.c_str());
    std::exit(1);
  }
  return prefix;
}

bool WriteNewFile(platform::FileSystem* files, const std::string& name, std::string* failure) {
  const std::string temporary = name + ".tmp";
  const platform::FileHandle out = files->OpenWrite(temporary.c_str());
  std::uint32_t written = 0;
  const bool ok = platform::IsValidFile(out) &&
                  files->Write(out, kContent.data(), static_cast<std::uint32_t>(kContent.size()), &written) &&
                  written == kContent.size();
  if (platform::IsValidFile(out) && !files->Close(out)) *failure = "cannot close " + temporary;
  if (!ok || !failure->empty() || !files->RenameReplacing(temporary.c_str(), name.c_str())) {
    if (failure->empty()) *failure = "cannot write " + name;
    return false;
  }
  return true;
}

void CreateFiles(benchmark::State& state, int perFolder) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  for (auto _ : state) {
    state.PauseTiming();
    FreshPrefix();
    for (int folder = 0; folder < kFiles / perFolder; ++folder) {
      files->CreateFolder(("C:\\GAMES\\EXAMPLE\\DATA\\SET" + std::to_string(folder)).c_str());
    }
    state.ResumeTiming();
    std::string failure;
    for (int i = 0; i < kFiles; ++i) {
      const std::string name =
          "C:\\GAMES\\EXAMPLE\\DATA\\SET" + std::to_string(i / perFolder) + "\\NEW" + std::to_string(i) + ".DAT";
      if (!WriteNewFile(files, name, &failure)) break;
    }
    if (!failure.empty()) state.SkipWithError(failure.c_str());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kFiles * std::int64_t(kContent.size()));
  state.counters["files"] = kFiles;
}

// The same files made with open, write, close and rename on native paths spelled as on the disk.
void CreateFilesBySystemCalls(benchmark::State& state, int perFolder) {
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path data = FreshPrefix() / "drive_c" / "Games" / "Example" / "Data";
    for (int folder = 0; folder < kFiles / perFolder; ++folder) {
      fs::create_directory(data / ("SET" + std::to_string(folder)));
    }
    state.ResumeTiming();
    for (int i = 0; i < kFiles; ++i) {
      const std::string name =
          (data / ("SET" + std::to_string(i / perFolder)) / ("NEW" + std::to_string(i) + ".DAT")).string();
      const std::string temporary = name + ".tmp";
      const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      const bool ok = out >= 0 && ::write(out, kContent.data(), kContent.size()) == ssize_t(kContent.size());
      if (out >= 0) ::close(out);
      if (!ok || ::rename(temporary.c_str(), name.c_str()) != 0) {
        state.SkipWithError("cannot write a file");
        break;
      }
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kFiles * std::int64_t(kContent.size()));
  state.counters["files"] = kFiles;
}

void OneFolder(benchmark::State& state) { CreateFiles(state, kFiles); }
void Folders100(benchmark::State& state) { CreateFiles(state, 100); }
void SystemOneFolder(benchmark::State& state) { CreateFilesBySystemCalls(state, kFiles); }
void SystemFolders100(benchmark::State& state) { CreateFilesBySystemCalls(state, 100); }

BENCHMARK(OneFolder)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(Folders100)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(SystemOneFolder)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(SystemFolders100)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  ThroughputReporter reporter;
  const std::string previous = platform::PrefixDirectory();
  const bool ran = RunBenchmarks(argc, argv, reporter);
  std::string error;
  platform::SelectPrefix(previous.c_str(), &error);
  std::error_code removal;
  fs::remove_all(BenchRoot(), removal);
  if (!ran) return 1;
  reporter.PrintRatio("folder-names-one-folder-vs-folders-of-100", "OneFolder", "Folders100",
                      "time to create 10,000 new files in folders of 100 / in one folder (goal 1.0)");
  reporter.PrintRatio("folder-names-system-one-folder-vs-folders-of-100", "SystemOneFolder", "SystemFolders100",
                      "the same by system calls alone: what the file system's large folder costs");
  reporter.PrintRatio("folder-names-one-folder-vs-system-calls", "OneFolder", "SystemOneFolder",
                      "time of the system calls alone / ours, 10,000 new files in one folder");
  return 0;
}
