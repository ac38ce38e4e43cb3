#pragma once
// The expression evaluator service. The config library never interprets expressions itself: each
// config file owns an `Evaluator` made by the active `EvaluatorFunctions` factory, and hands it the
// texts of "__EVAL" values, "__EXEC" blocks, enum values and expression values. The installed
// evaluator evaluates nothing: strings come back unchanged, numbers are 0, statements are ignored, and
// its saved state (the trailer of a binary config) is one 32-bit 0.
//
// Replace `GEvaluatorFunctions` to install a real expression language; a replacement keeps the calling
// order of the config library and must read in `LoadVariables` exactly what `SaveVariables` wrote.

#include "Es/Containers/compactBuf.h"

class SerializeBinStream;

class Evaluator {
 public:
  Evaluator() = default;
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;
  virtual ~Evaluator() = default;                                    // 1
  virtual void BeginContext() {}                                     // 2
  virtual void EndContext() {}                                       // 3
  // The evaluator's variables, the trailer of a binary config file.
  virtual void LoadVariables(SerializeBinStream& stream);            // 4: reads 4 bytes, drops them
  virtual void SaveVariables(SerializeBinStream& stream);            // 5: writes a 32-bit 0
  virtual void Reset() {}                                            // 6
  virtual float EvaluateFloat(const char* /*text*/) { return 0; }    // 7
  virtual float EvaluateNumber(const char* /*text*/) { return 0; }   // 8
  // `result` receives the value of `text` as a string; the installed evaluator copies the text.
  virtual void EvaluateString(RefString& result, const char* text);  // 9
  virtual void Execute(const char* /*text*/) {}                      // 10
  virtual void SetFloat(const char* /*name*/, float /*value*/, int /*flag1*/, int /*flag2*/) {}  // 11
};

class EvaluatorFunctions {
 public:
  constexpr EvaluatorFunctions() = default;
  virtual ~EvaluatorFunctions() = default;
  // A new evaluator owned by the caller; `parent` is the evaluator of an enclosing file, if any.
  virtual Evaluator* CreateEvaluator(Evaluator* parent);
};

// Never null; points at the installed factory before any code runs.
extern EvaluatorFunctions* GEvaluatorFunctions;
EvaluatorFunctions* DefaultEvaluatorFunctions();
