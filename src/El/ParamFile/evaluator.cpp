#include "El/ParamFile/evaluator.h"

#include <cstdint>

#include "El/QStream/serializeBin.h"

void Evaluator::LoadVariables(SerializeBinStream& stream) {
  std::int32_t ignored = 0;
  stream.TransferInt(ignored);
}

void Evaluator::SaveVariables(SerializeBinStream& stream) {
  std::int32_t zero = 0;
  stream.TransferInt(zero);  // a loading serializer reads and drops the 4 bytes
}

void Evaluator::EvaluateString(RefString& result, const char* text) { result = RefString(text ? text : ""); }

Evaluator* EvaluatorFunctions::CreateEvaluator(Evaluator*) { return new Evaluator(); }

namespace {
EvaluatorFunctions installedFactory;
}  // namespace

EvaluatorFunctions* GEvaluatorFunctions = &installedFactory;

EvaluatorFunctions* DefaultEvaluatorFunctions() { return &installedFactory; }
