#pragma once
// Value entries: a name and one raw value (text, integer, float or expression).

#include "El/ParamFile/paramEntry.h"
#include "El/ParamFile/paramRawValue.h"

// The text form of a value (paramSave.cpp) and its binary record after the type bytes: name, then
// payload (paramBinary.cpp).
void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name, const ParamRawValue& raw);
void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name,
                    const ParamRawValueExpression& raw);
void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name, const ParamRawValueInt& raw);
void ParamSaveValue(QOStream& out, int indent, const char* lineEnd, const RefString& name,
                    const ParamRawValueFloat& raw);
void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name, ParamRawValue& raw);
void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name,
                        ParamRawValueExpression& raw);
void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name, ParamRawValueInt& raw);
void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name, ParamRawValueFloat& raw);

template <class Raw>
class ParamValueSpec : public ParamEntry {
 public:
  explicit ParamValueSpec(const RefString& name = RefString()) : ParamEntry(name) {}
  ParamValueSpec(const RefString& name, const Raw& raw) : ParamEntry(name), raw_(raw) {}

  using ParamEntry::SetValue;

  bool IsTextValue() const override { return Raw::kIsText; }
  bool IsFloatValue() const override { return Raw::kIsFloat; }
  bool IsIntValue() const override { return Raw::kIsInt; }
  bool IsExpression() const override { return Raw::kIsExpression; }
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  std::size_t GetMemoryUsed() const override { return raw_.GetMemoryUsed(); }
  ParamEntry* Clone() const override { return new ParamValueSpec(name_, raw_); }
  RefString GetValue() const override { return raw_.GetValue(); }
  float GetFloat() const override { return raw_.GetFloat(); }
  int GetInt() const override { return raw_.GetInt(); }
  bool GetBool() const override { return raw_.GetInt() != 0; }
  RefString GetValueRaw() const override { return raw_.GetValueRaw(); }
  void SetValue(int value) override { raw_.SetInt(value); }
  void SetValue(float value) override { raw_.SetFloat(value); }
  void SetValue(const char* value) override { raw_.SetString(value); }
  void SetFile(ParamFile* file) override { raw_.SetFile(file); }
  void Save(QOStream& out, int indent, const char* lineEnd) const override {
    ParamSaveValue(out, indent, lineEnd, name_, raw_);
  }
  void SerializeBin(SerializeBinStream& stream, ParamFileContext& context) override {
    ParamTransferValue(stream, context, name_, raw_);
  }
  void AddChecksum(IParamChecksum& sum) const override { raw_.AddChecksum(sum); }

  const Raw& GetRaw() const { return raw_; }
  Raw& GetRaw() { return raw_; }

 private:
  Raw raw_;
};

using ParamValueText = ParamValueSpec<ParamRawValue>;
using ParamValueInt = ParamValueSpec<ParamRawValueInt>;
using ParamValueFloat = ParamValueSpec<ParamRawValueFloat>;
using ParamValueExpression = ParamValueSpec<ParamRawValueExpression>;

// A new value entry of binary type `type` (an unknown code makes a text value).
ParamEntry* NewParamValue(int type, const RefString& name);
