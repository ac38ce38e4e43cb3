// Config text parsing against RapidJSON parsing the same tree written as JSON (both build an in-memory
// tree), plus the data bank figures: opening a bank of 10,000 entries and extracting every entry,
// stored and LZ-packed.
//
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

namespace {

// The generated tree: kClasses classes of vehicles, each with a base, values of every kind, arrays
// (one nested) and a member class, in both notations.
constexpr int kClasses = 4000;

struct Corpus {
  std::string text;
  std::string json;
};

const Corpus& Trees() {
  static const Corpus corpus = [] {
    Corpus c;
    c.text = "class VehicleBase { speed = 0; armor = 1.0; };\n";
    c.json = "{\"VehicleBase\": {\"speed\": 0, \"armor\": 1.0},\n";
    for (int i = 0; i < kClasses; ++i) {
      const std::string n = std::to_string(i);
      c.text += "class Vehicle" + n + " : VehicleBase\n{\n\tdisplayName = \"Vehicle number " + n + "\";\n" +
                "\tmodel = \"\\data\\models\\vehicle" + n + ".p3d\";\n\tspeed = " + std::to_string(40 + i % 90) +
                ";\n\tarmor = " + std::to_string(i % 7) + ".25;\n\tcrew = " + std::to_string(1 + i % 4) +
                ";\n\tsounds[] = {\"engine" + n + ".wss\", 0.8, 1, 600};\n\tturret[] = {{0, 1.5}, {" + n +
                ", -2.5}};\n\tclass Damage\n\t{\n\t\ttex[] = {\"a.paa\", \"b.paa\"};\n\t\tlimit = 0.5;\n\t};\n};\n";
      c.json += "\"Vehicle" + n + "\": {\"__base\": \"VehicleBase\", \"displayName\": \"Vehicle number " + n +
                "\", \"model\": \"\\\\data\\\\models\\\\vehicle" + n + ".p3d\", \"speed\": " +
                std::to_string(40 + i % 90) + ", \"armor\": " + std::to_string(i % 7) + ".25, \"crew\": " +
                std::to_string(1 + i % 4) + ", \"sounds\": [\"engine" + n + ".wss\", 0.8, 1, 600], " +
                "\"turret\": [[0, 1.5], [" + n + ", -2.5]], \"Damage\": {\"tex\": [\"a.paa\", \"b.paa\"], " +
                "\"limit\": 0.5}}" + (i + 1 < kClasses ? ",\n" : "\n");
    }
    c.json += "}\n";
    return c;
  }();
  return corpus;
}

int ParseConfig(const std::string& text, ParamFile& file) {
  QOStrStream out;
  out.write(text.data(), static_cast<int>(text.size()));
  std::unique_ptr<QIStrStream> inner(new QIStrStream);
  inner->open(out);
  QIPreprocessedStream in(std::move(inner));
  return ParseTextStream(file, in);
}

void ConfigTextParse(benchmark::State& state) {
  const std::string& text = Trees().text;
  for (auto _ : state) {
    ParamFile file;
    if (ParseConfig(text, file) != PTROk || file.GetEntryCount() != kClasses + 1) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(file.GetEntryCount());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

void RapidJsonParse(benchmark::State& state) {
  const std::string& json = Trees().json;
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(json.c_str(), json.size());
    if (document.HasParseError() || document.MemberCount() != kClasses + 1) state.SkipWithError("parse failed");
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

BENCHMARK(ConfigTextParse)->Unit(benchmark::kMillisecond);
BENCHMARK(RapidJsonParse)->Unit(benchmark::kMillisecond);
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
  std::printf("config text %zu bytes, JSON %zu bytes, %d classes\n", Trees().text.size(), Trees().json.size(),
              kClasses);
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
