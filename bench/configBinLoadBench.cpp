// Loading a large binary config against RapidJSON parsing the same tree written as JSON into its DOM,
// in the same run; also the binary writer's speed and the loaded tree's memory. The tree and its JSON
// form come from configBenchTree.h.
//
// Both load benchmarks report the binary file's size as their bytes processed, so the ratio of their
// rates is the ratio of their times.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>

#include "El/ParamFile/paramFile.h"
#include "El/QStream/qstream.h"
#include "configBenchTree.h"
#include "throughputReporter.h"

namespace {

struct Inputs {
  Inputs() {
    ParamFile file;
    file.BuildIndex();  // 60000 members: additions look names up through the index
    configbench::BuildTree(file);
    QOStrStream out;
    file.SaveBin(out);
    binary.assign(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    configbench::WriteJsonClass(writer, file);
    json.assign(buffer.GetString(), buffer.GetSize());
  }
  std::string binary;
  std::string json;
};

const Inputs& GetInputs() {
  static const Inputs inputs;
  return inputs;
}

// The C heap in use, including its own mapped chunks.
std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void ConfigBinLoad(benchmark::State& state) {
  const Inputs& inputs = GetInputs();
  std::size_t treeBytes = 0, heapBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::size_t before = HeapInUse();
    auto file = std::make_unique<ParamFile>();
    QIStrStream in(inputs.binary.data(), static_cast<int>(inputs.binary.size()));
    state.ResumeTiming();
    if (file->ParseBin(in) != 0) state.SkipWithError("load failed");
    state.PauseTiming();  // the measurements and the tree's destruction are not part of the load
    // The arena's large blocks come straight from the system, beside the heap.
    heapBytes = HeapInUse() - before + file->GetArena()->GetSystemReservedSize();
    treeBytes = file->GetMemoryUsed();
    file.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(inputs.binary.size()));
  state.counters["binary_MiB"] = double(inputs.binary.size()) / (1 << 20);
  state.counters["tree_MiB"] = double(treeBytes) / (1 << 20);
  state.counters["heap_MiB"] = double(heapBytes) / (1 << 20);
}

void RapidJsonParse(benchmark::State& state) {
  const Inputs& inputs = GetInputs();
  std::size_t heapBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::size_t before = HeapInUse();
    auto document = std::make_unique<rapidjson::Document>();
    state.ResumeTiming();
    document->Parse(inputs.json.data(), inputs.json.size());
    if (document->HasParseError()) state.SkipWithError("parse failed");
    state.PauseTiming();
    heapBytes = HeapInUse() - before;
    document.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(inputs.binary.size()));
  state.counters["json_MiB"] = double(inputs.json.size()) / (1 << 20);
  state.counters["heap_MiB"] = double(heapBytes) / (1 << 20);
}

void ConfigBinWrite(benchmark::State& state) {
  const Inputs& inputs = GetInputs();
  ParamFile file;
  QIStrStream in(inputs.binary.data(), static_cast<int>(inputs.binary.size()));
  file.ParseBin(in);
  for (auto _ : state) {
    QOStrStream out;
    if (!file.SaveBin(out)) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(inputs.binary.size()));
}

// Both loads run for a few seconds each, so that both are measured over several runs alike.
BENCHMARK(ConfigBinLoad)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(RapidJsonParse)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(ConfigBinWrite)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ThroughputReporter reporter;
  if (!RunBenchmarks(argc, argv, reporter)) return 1;
  reporter.PrintRatio("config-binload-vs-rapidjson", "ConfigBinLoad", "RapidJsonParse",
                      "RapidJSON DOM parse time / our binary load time");
  return 0;
}
