#include "El/ParamFile/paramRawValue.h"

#include <cstring>

#include "El/Common/appFrame.h"
#include "El/ParamFile/localize.h"
#include "El/ParamFile/paramEntry.h"
#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramNumber.h"

namespace {

// A text that is no plain number, evaluated as a float by the holding file.
float EvaluateText(const RefString& text, ParamFile* file) {
  if (!file) {
    WarningMessage("Cannot evaluate '%s' - no file", text.Data());
    return 0;
  }
  return file->EvaluateFloat(text);
}

}  // namespace

RefString ParamRawValue::GetValue() const {
  if (std::strncmp(text.Data(), "$STR", 4) != 0) return text;
  RefString localized;
  GLocalizeStringFunctions->Localize(localized, text.Data() + 1);
  return ParamShareName(localized);
}

float ParamRawValue::GetFloat() const {
  float asFloat;
  if (ParamTextToFloat(text, asFloat)) return asFloat;
  std::int32_t asInt;
  if (ParamTextToInt(text, asInt)) return static_cast<float>(asInt);
  return EvaluateText(text, file);
}

std::int32_t ParamRawValue::GetInt() const {
  std::int32_t asInt;
  if (ParamTextToInt(text, asInt)) return asInt;
  float asFloat;
  if (ParamTextToFloat(text, asFloat)) {
    LogF("Warning: rounding float value %g", static_cast<double>(asFloat));
    return ParamRoundToInt(asFloat);
  }
  return ParamRoundToInt(EvaluateText(text, file));
}

void ParamRawValue::SetInt(std::int32_t value) { text = RefString::FromNumber(value); }

void ParamRawValue::SetFloat(float value) {
  RefString written = RefString::Format("%f", static_cast<double>(value));
  float check;
  std::int32_t checkInt;
  if (!ParamTextToFloat(written, check) && !ParamTextToInt(written, checkInt)) {
    RefString message = RefString::Format("Setting invalid value %s", written.Data());
    PARAM_DIAGNOSTIC(message);
    written = RefString();
  }
  text = written;
}

void ParamRawValue::AddChecksum(IParamChecksum& sum) const { sum.Add(text.Data(), text.GetLength()); }

RefString ParamRawValueExpression::GetValue() const {
  if (!file) {
    WarningMessage("Cannot evaluate '%s' - no file", text.Data());
    return RefString();
  }
  RefString result;
  file->BeginContext();
  file->EvaluateString(result, text);
  file->EndContext();
  return ParamShareName(result);
}

float ParamRawValueExpression::GetFloat() const { return EvaluateText(text, file); }

std::int32_t ParamRawValueExpression::GetInt() const { return ParamRoundToInt(EvaluateText(text, file)); }

void ParamRawValueInt::SetFloat(float v) { value = ParamRoundToInt(v); }

void ParamRawValueInt::SetString(const char* text) {
  WarningMessage("Int value set as string %s", text ? text : "");
  PARAM_DIAGNOSTIC("Int set as string");
}

void ParamRawValueInt::AddChecksum(IParamChecksum& sum) const { sum.Add(&value, 4); }

std::int32_t ParamRawValueFloat::GetInt() const { return ParamRoundToInt(value); }

void ParamRawValueFloat::SetString(const char* text) {
  LogF("Float value set as string %s", text ? text : "");
  PARAM_DIAGNOSTIC("Float value set as string");
}

void ParamRawValueFloat::AddChecksum(IParamChecksum& sum) const { sum.Add(&value, 4); }
