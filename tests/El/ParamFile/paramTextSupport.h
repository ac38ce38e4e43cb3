#pragma once
// Helpers of the config text tests: parsing a string as the file "cfg", a recording evaluator, and a
// config file in a temporary folder.

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "El/ParamFile/evaluator.h"
#include "El/ParamFile/paramText.h"
#include "El/ParamFile/preprocessor.h"
#include "El/QStream/qstream.h"
#include "support/tempFolder.h"

// Parses `text` as the file named "cfg" through the line-tracking stream, as ParseText does.
inline int ParseString(ParamFile& file, const std::string& text) {
  QOStrStream out;
  out.write(text.data(), static_cast<int>(text.size()));
  std::unique_ptr<QIStrStream> inner(new QIStrStream);
  inner->open(out);
  QIPreprocessedStream in(std::move(inner));
  in.SetSourcePosition("cfg", 1);
  file.SetName("cfg");
  return ParseTextStream(file, in);
}

// What the recording evaluator was asked.
struct EvaluatorLog {
  std::vector<std::string> variables;  // "name=value"
  std::vector<std::string> executed;
};

// Numbers are read with strtod; "__EVAL(x)" yields x; variables and statements are recorded.
class RecordingEvaluator : public Evaluator {
 public:
  explicit RecordingEvaluator(EvaluatorLog& log) : log_(log) {}
  float EvaluateNumber(const char* text) override { return static_cast<float>(std::strtod(text, nullptr)); }
  void EvaluateString(RefString& result, const char* text) override {
    std::string value = text;
    if (value.size() >= 2 && value.front() == '(' && value.back() == ')') value = value.substr(1, value.size() - 2);
    result = RefString(value.c_str());
  }
  void Execute(const char* text) override { log_.executed.emplace_back(text); }
  void SetFloat(const char* name, float value, int, int) override {
    log_.variables.push_back(std::string(name) + "=" + std::to_string(static_cast<int>(value)));
  }

 private:
  EvaluatorLog& log_;
};

// Installs the recording evaluator for its lifetime.
class ScopedEvaluator : public EvaluatorFunctions {
 public:
  ScopedEvaluator() : previous_(GEvaluatorFunctions) { GEvaluatorFunctions = this; }
  ~ScopedEvaluator() override { GEvaluatorFunctions = previous_; }
  Evaluator* CreateEvaluator(Evaluator*) override { return new RecordingEvaluator(log); }

  EvaluatorLog log;

 private:
  EvaluatorFunctions* previous_;
};

// A config file with the given text in a temporary folder.
class TempConfig {
 public:
  explicit TempConfig(const std::string& text, const std::string& name = "config.cpp") : path_(folder_.File(name)) {
    std::ofstream file(path_, std::ios::binary);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  const char* Name() const { return path_.c_str(); }

 private:
  TempFolder folder_;
  std::string path_;
};
