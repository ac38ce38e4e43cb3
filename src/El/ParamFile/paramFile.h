#pragma once
// ParamFile: the root of a config tree. A class whose name is the file name (empty for a tree loaded
// from a stream), owning the evaluator that computes its expression values and the memory-release
// hook that unloads classes of a streamed file. Loads and saves in the binary form here; the text form
// builds on the same tree.
//
// Typical use:
//   ParamFile file;
//   if (file.ParseBin(stream) == 0) {
//     ParamEntryPtr entry = file.FindEntry("name");
//     if (entry) ... entry->GetValue() ...
//   }
// Release every lookup pair before the file is destroyed.

#include <memory>

#include "El/ParamFile/evaluator.h"
#include "El/ParamFile/paramArray.h"
#include "El/ParamFile/paramClass.h"
#include "El/ParamFile/paramClassOwner.h"
#include "El/ParamFile/paramEntry.h"
#include "El/ParamFile/paramValue.h"

class QIStream;

// Result codes of the binary loader.
enum ParamBinResult : int {
  PBROk = 0,
  PBRBadMagic = 1,          // not a binary config
  PBRBadVersion = 3,        // version 5, 6, below 2 or above 8
  PBRBadStructure = 4,      // structure error, unterminated string, decoding failure
  PBRNoFile = 5,            // the named file does not exist
  PBRBankFailed = 6,        // the bank's stream could not be opened
};

class ParamFile : public ParamClass {
 public:
  ParamFile();
  ~ParamFile() override;

  using ParamEntry::Clear;

  // Drops all links and members, the name, the evaluator and the owner.
  void Clear() override;
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  ParamFile* GetFile() const override { return const_cast<ParamFile*>(this); }

  // The evaluator, created through the active factory when the file has none.
  Evaluator* GetEvaluator();
  // Makes a new evaluator with `parent` the file's own, destroying the previous one.
  void CreateEvaluator(Evaluator* parent);
  bool HasEvaluator() const { return evaluator_ != nullptr; }
  void BeginContext() { GetEvaluator()->BeginContext(); }
  void EndContext() { GetEvaluator()->EndContext(); }
  float EvaluateFloat(const char* text) { return GetEvaluator()->EvaluateFloat(text); }
  float EvaluateNumber(const char* text) { return GetEvaluator()->EvaluateNumber(text); }
  void EvaluateString(RefString& result, const char* text) { GetEvaluator()->EvaluateString(result, text); }
  void Execute(const char* text) { GetEvaluator()->Execute(text); }
  void SetFloat(const char* name, float value, int flag1, int flag2) {
    GetEvaluator()->SetFloat(name, value, flag1, flag2);
  }

  // Binary loads; the result is a ParamBinResult code (0 = success). `stream` is positioned at the
  // magic. `owner` says where the classes come from (none for a plain stream).
  int ParseBin(QIStream& stream, IParamClassSource* owner = nullptr, Evaluator* parent = nullptr);
  int ParseBin(const char* fileName, IParamClassSource* owner = nullptr, Evaluator* parent = nullptr);
  bool ParseBinOk(QIStream& stream) { return ParseBin(stream) == PBROk; }
  // Binary saves in the current version, with the evaluator's state as the trailer.
  bool SaveBin(const char* fileName);
  bool SaveBin(QOStream& stream);

  // The memory-release hook: replaces unreferenced member classes of a streamed file by placeholders
  // until `bytes` have been released (or nothing more can go). Returns the bytes released.
  std::size_t ReleaseMemory(std::size_t bytes);
  // Replaces the member class at `index` of `holder` by a placeholder; false when it cannot.
  static bool UnloadClass(ParamClass& holder, int index);
  // Whether the hook is active (set by a load whose owner allows unloading).
  bool IsMemoryHookRegistered() const { return memoryHookRegistered_; }
  void SetMemoryHookRegistered(bool registered) { memoryHookRegistered_ = registered; }

  // The arena that loaders place this file's entries in (made on first use, dropped by Clear; the
  // entries placed there keep it alive). Loads whose classes may be unloaded do not use it.
  ParamArena* GetArena();

 private:
  std::unique_ptr<Evaluator> evaluator_;
  Ref<ParamArena> arena_;
  bool memoryHookRegistered_ = false;
};
