// Config text parsing against RapidJSON parsing the same tree written as JSON (both build an in-memory
// tree), plus the data bank figures: opening a bank of 10,000 entries and extracting every entry,
// stored and LZ-packed.
//
// The tree is the one of the binary load benchmark (configBenchTree.h).
// Ends with "ratio config-textparse-vs-rapidjson <RapidJSON time / our time> ..." and two "bank" lines.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "El/ParamFile/paramText.h"
#include "El/ParamFile/preprocessor.h"
#include "El/QStream/bankWriter.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"
#include "configBenchTree.h"

namespace {

// The tree of the binary load benchmark, as config text (our writer) and as JSON.
struct Corpus {
  std::string text;
  std::string json;
  int classes = 0;
};

const Corpus& Trees() {
  static const Corpus corpus = [] {
    Corpus c;
    ParamFile file;
    file.BuildIndex();  // 60000 members: additions look names up through the index
    configbench::BuildTree(file);
    c.classes = file.GetEntryCount();
    QOStrStream text;
    file.Save(text, 0, "\n");
    c.text.assign(text.Data(), static_cast<std::size_t>(text.GetTotalSize()));
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    configbench::WriteJsonClass(writer, file);
    c.json.assign(buffer.GetString(), buffer.GetSize());
    return c;
  }();
  return corpus;
}

int ParseConfig(const std::string& text, ParamFile& file) {
  // Read in place, as RapidJSON reads its text.
  QIPreprocessedStream in(std::make_unique<QIStrStream>(text.data(), static_cast<int>(text.size())));
  return ParseTextStream(file, in);
}

void ConfigTextParse(benchmark::State& state) {
  const std::string& text = Trees().text;
  for (auto _ : state) {
    ParamFile file;
    if (ParseConfig(text, file) != PTROk || file.GetEntryCount() != Trees().classes) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(file.GetEntryCount());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

void RapidJsonParse(benchmark::State& state) {
  const std::string& json = Trees().json;
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(json.c_str(), json.size());
    if (document.HasParseError() || static_cast<int>(document.MemberCount()) != Trees().classes) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(document.MemberCount());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(json.size()));
}

// ---- banks -----------------------------------------------------------------------------------------------

constexpr int kBankEntries = 10000;

// A bank file of 10,000 entries (every other one LZ-packed), written once.
const std::string& BankFile() {
  static const std::string name = [] {
    BankWriter writer;
    writer.SetProperty("prefix", "bench");
    for (int i = 0; i < kBankEntries; ++i) {
      std::string data;
      while (data.size() < 2000) data += "entry " + std::to_string(i) + " line " + std::to_string(data.size()) + "\n";
      const std::string entry = "folder" + std::to_string(i % 50) + "\\file" + std::to_string(i) + ".txt";
      writer.AddData(entry.c_str(), data.data(), data.size(), 0, i % 2 == 1);
    }
    const std::string path = (std::filesystem::temp_directory_path() / "zrbench-bank.pbo").string();
    writer.Write(path.c_str());
    return path;
  }();
  return name;
}

void BankOpen(benchmark::State& state) {
  const std::string& name = BankFile();
  for (auto _ : state) {
    QFBank bank;
    if (!bank.Open(name.c_str()) || !bank.LoadHeader() || bank.EntryCount() != kBankEntries) {
      state.SkipWithError("bank did not open");
    }
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * kBankEntries);
}

struct Extraction {
  QFBank* bank;
  std::int64_t bytes;
};

void ReadEntry(const BankEntry& entry, void* context) {
  auto* extraction = static_cast<Extraction*>(context);
  QIStreamDataSource in;
  in.AttachSource(extraction->bank->OpenEntry(entry.name));
  char block[4096];
  for (int got = in.read(block, sizeof block); got > 0; got = in.read(block, sizeof block)) extraction->bytes += got;
}

void BankExtract(benchmark::State& state) {
  QFBank bank;
  bank.Open(BankFile().c_str());
  bank.LoadHeader();
  Extraction extraction{&bank, 0};
  for (auto _ : state) bank.ForEachEntry(ReadEntry, &extraction);
  state.SetBytesProcessed(extraction.bytes);
}

// Both parses run for a few seconds each: a single run would measure mostly the first touch of fresh
// memory, and the two would not be compared alike (one run of ours against several of RapidJSON's).
BENCHMARK(ConfigTextParse)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(RapidJsonParse)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BankOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BankExtract)->Unit(benchmark::kMillisecond);

// Keeps the real time per iteration and the rates of each benchmark.
class TimeReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration && run.aggregate_name != "median") continue;
      const std::string name = run.run_name.function_name;
      seconds_[name] = run.GetAdjustedRealTime() / 1e3;  // reported in milliseconds
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) bytesPerSecond_[name] = rate->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Seconds(const std::string& name) const { return Get(seconds_, name); }
  double BytesPerSecond(const std::string& name) const { return Get(bytesPerSecond_, name); }

 private:
  static double Get(const std::map<std::string, double>& map, const std::string& name) {
    const auto found = map.find(name);
    return found == map.end() ? 0 : found->second;
  }
  std::map<std::string, double> seconds_;
  std::map<std::string, double> bytesPerSecond_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double ours = reporter.Seconds("ConfigTextParse"), theirs = reporter.Seconds("RapidJsonParse");
  std::printf("config text %zu bytes, JSON %zu bytes, %d classes at the root\n", Trees().text.size(),
              Trees().json.size(), Trees().classes);
  if (ours > 0 && theirs > 0) {
    std::printf("ratio config-textparse-vs-rapidjson %.2f RapidJSON time / our time (same tree)\n", theirs / ours);
  }
  if (reporter.Seconds("BankOpen") > 0) {
    std::printf("bank open of %d entries: %.2f ms\n", kBankEntries, reporter.Seconds("BankOpen") * 1e3);
  }
  if (reporter.BytesPerSecond("BankExtract") > 0) {
    std::printf("bank extraction (half stored, half LZ-packed): %.0f MB/s\n",
                reporter.BytesPerSecond("BankExtract") / 1e6);
  }
  std::remove(BankFile().c_str());
  return 0;
}
