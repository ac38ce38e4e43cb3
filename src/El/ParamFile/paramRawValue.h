#pragma once
// The four raw value kinds shared by value entries (ParamValueSpec) and array elements
// (ParamArrayValueSpec): text, integer, float and expression. Each knows its binary type code, its
// conversions to string, float and integer, its setters with their messages, and its checksum bytes.
//
// Conversions of texts follow paramNumber.h. A text that is not a number, and every expression, is
// evaluated by the evaluator of the file that holds it; without a file the warning
// "Cannot evaluate '%s' - no file" is written and the number is 0. A text that begins with "$STR"
// reads (GetValue) as its localized string, looked up without the leading '$'.

#include <cstddef>
#include <cstdint>

#include "Es/Containers/compactBuf.h"

class ParamFile;
class IParamChecksum;

// Binary type codes of values and array elements.
enum ParamValueType : int {
  PVTText = 0,
  PVTFloat = 1,
  PVTInt = 2,
  PVTArray = 3,
  PVTExpression = 4,
};

class ParamRawValue {
 public:
  static constexpr int kType = PVTText;
  static constexpr bool kIsText = true, kIsFloat = false, kIsInt = false, kIsExpression = false;

  RefString GetValue() const;
  RefString GetValueRaw() const { return text; }
  float GetFloat() const;
  std::int32_t GetInt() const;
  void SetInt(std::int32_t value);
  void SetFloat(float value);
  void SetString(const char* value) { text = RefString(value); }
  void SetFile(ParamFile* owner) { file = owner; }
  void AddChecksum(IParamChecksum& sum) const;
  std::size_t GetMemoryUsed() const { return text.Capacity(); }

  RefString text;
  ParamFile* file = nullptr;
};

class ParamRawValueExpression : public ParamRawValue {
 public:
  static constexpr int kType = PVTExpression;
  static constexpr bool kIsText = true, kIsFloat = false, kIsInt = false, kIsExpression = true;

  // BeginContext, EvaluateString, EndContext on the file's evaluator; the result is shared.
  RefString GetValue() const;
  float GetFloat() const;
  std::int32_t GetInt() const;
};

class ParamRawValueInt {
 public:
  static constexpr int kType = PVTInt;
  static constexpr bool kIsText = false, kIsFloat = false, kIsInt = true, kIsExpression = false;

  RefString GetValue() const { return RefString::FromNumber(value); }
  RefString GetValueRaw() const { return GetValue(); }
  float GetFloat() const { return static_cast<float>(value); }
  std::int32_t GetInt() const { return value; }
  void SetInt(std::int32_t v) { value = v; }
  void SetFloat(float v);
  void SetString(const char* text);
  void SetFile(ParamFile*) {}
  void AddChecksum(IParamChecksum& sum) const;
  std::size_t GetMemoryUsed() const { return 0; }

  std::int32_t value = 0;
};

class ParamRawValueFloat {
 public:
  static constexpr int kType = PVTFloat;
  static constexpr bool kIsText = false, kIsFloat = true, kIsInt = false, kIsExpression = false;

  RefString GetValue() const { return RefString::Format("%g", static_cast<double>(value)); }
  RefString GetValueRaw() const { return GetValue(); }
  float GetFloat() const { return value; }
  std::int32_t GetInt() const;
  void SetInt(std::int32_t v) { value = static_cast<float>(v); }
  void SetFloat(float v) { value = v; }
  void SetString(const char* text);
  void SetFile(ParamFile*) {}
  void AddChecksum(IParamChecksum& sum) const;
  std::size_t GetMemoryUsed() const { return 0; }

  float value = 0;
};
