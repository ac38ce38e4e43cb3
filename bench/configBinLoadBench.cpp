// Loading a large binary config against RapidJSON parsing the same tree written as JSON into its DOM,
// in the same run; also the binary writer's speed and the loaded tree's memory.
//
// The generated tree: 60000 classes under the root, each derived from one of 20 base classes, with
// integer, float and text values, two arrays (one with nested arrays) and a nested class. Member names
// come from a small vocabulary, as in real configs. The JSON form maps a class to an object (its base
// as a "__base" member), an array to an array and every value to a number or string.
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
#include <rapidjson/writer.h>

#include "El/ParamFile/paramFile.h"
#include "El/QStream/qstream.h"
#include "platform/debugOutput.h"
#include "throughputReporter.h"

namespace {

const char* const kNames[] = {"model", "displayName", "armor", "speed", "mass", "fuel", "crew", "icon",
                              "sound", "damage", "range", "scope", "side", "faction", "cost", "weight"};

void BuildTree(ParamFile& file) {
  file.BuildIndex();  // 60000 members: additions look names up through the index
  for (int b = 0; b < 20; ++b) {
    Ref<ParamClass> base = file.AddClass(RefString::Format("Base%d", b), true);
    base->AddValue("scope", b % 3);
    base->AddValue("displayName", RefString::Format("Base class number %d", b));
  }
  for (int c = 0; c < 60000; ++c) {
    Ref<ParamClass> cls = file.AddClass(RefString::Format("Item%d", c), true);
    cls->SetBase(static_cast<ParamClass*>(file.EntryAt(c % 20)));
    for (int k = 0; k < 16; ++k) {
      switch (k % 4) {
        case 0: cls->AddValue(kNames[k], c * 7 + k); break;
        case 1: cls->AddValue(kNames[k], static_cast<float>(c) * 0.25f + static_cast<float>(k)); break;
        default: cls->AddValue(kNames[k], RefString::Format("\\data\\%s_%d.paa", kNames[k], c % 997)); break;
      }
    }
    ParamEntryPtr flat = cls->AddArray("weapons");
    for (int i = 0; i < 6; ++i) flat->AddValue(RefString::Format("weapon%d", (c + i) % 50));
    ParamEntryPtr nested = cls->AddArray("positions");
    for (int i = 0; i < 3; ++i) {
      IParamArrayValue* point = nested->AddArray();
      point->AddValue(static_cast<float>(i));
      point->AddValue(static_cast<float>(c % 100));
      point->AddValue(1.5f);
    }
    Ref<ParamClass> inner = cls->AddClass("Turret", true);
    inner->AddValue("gunner", c % 2);
    inner->AddValue("maxElev", 45.0f);
    inner->AddValue("body", "mainTurret");
  }
}

void WriteJsonElement(rapidjson::Writer<rapidjson::StringBuffer>& json, const IParamArrayValue& element) {
  if (element.IsArrayValue()) {
    json.StartArray();
    for (int i = 0; i < element.GetItemCount(); ++i) WriteJsonElement(json, element[i]);
    json.EndArray();
  } else if (element.IsIntValue()) {
    json.Int(element.GetInt());
  } else if (element.IsFloatValue()) {
    json.Double(element.GetFloat());
  } else {
    json.String(element.GetValueRaw());
  }
}

void WriteJsonClass(rapidjson::Writer<rapidjson::StringBuffer>& json, const ParamClass& cls) {
  json.StartObject();
  if (cls.GetBaseClass()) {
    json.Key("__base");
    json.String(cls.GetBaseClass()->GetName());
  }
  for (int i = 0; i < cls.GetEntryCount(); ++i) {
    const ParamEntry& entry = *cls.EntryAt(i);
    json.Key(entry.GetName());
    if (entry.IsClass()) {
      WriteJsonClass(json, static_cast<const ParamClass&>(entry));
    } else if (entry.IsArray()) {
      json.StartArray();
      for (int k = 0; k < entry.GetSize(); ++k) WriteJsonElement(json, entry[k]);
      json.EndArray();
    } else if (entry.IsIntValue()) {
      json.Int(entry.GetInt());
    } else if (entry.IsFloatValue()) {
      json.Double(entry.GetFloat());
    } else {
      json.String(entry.GetValueRaw());
    }
  }
  json.EndObject();
}

struct Inputs {
  Inputs() {
    ParamFile file;
    BuildTree(file);
    QOStrStream out;
    file.SaveBin(out);
    binary.assign(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    WriteJsonClass(writer, file);
    json.assign(buffer.GetString(), buffer.GetSize());
  }
  std::string binary;
  std::string json;
};

const Inputs& GetInputs() {
  static const Inputs inputs;
  return inputs;
}

std::size_t HeapInUse() { return mallinfo2().uordblks; }

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
    heapBytes = HeapInUse() - before;
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

BENCHMARK(ConfigBinLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(RapidJsonParse)->Unit(benchmark::kMillisecond);
BENCHMARK(ConfigBinWrite)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  platform::CurrentDebugOutput();  // built before the string bank, so that it outlives it
  ThroughputReporter reporter;
  if (!RunBenchmarks(argc, argv, reporter)) return 1;
  reporter.PrintRatio("config-binload-vs-rapidjson", "ConfigBinLoad", "RapidJsonParse",
                      "RapidJSON DOM parse time / our binary load time");
  return 0;
}
