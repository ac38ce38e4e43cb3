#pragma once
// Arrays: a named list of elements, each a raw value or a nested element list. Elements are shared by
// counted references and destroyed with their array. Element queries mirror the value queries of
// entries; an array operation on a scalar element reports "Value not an array." and yields an empty
// result.

#include "El/ParamFile/paramEntry.h"
#include "El/ParamFile/paramRawValue.h"
#include "Es/Containers/array.h"

class IParamArrayValue : public RefCount {
 public:
  PARAM_ARENA_ALLOCATED
  virtual int GetValueType() const = 0;
  virtual bool IsTextValue() const { return false; }
  virtual bool IsFloatValue() const { return false; }
  virtual bool IsIntValue() const { return false; }
  virtual bool IsExpression() const { return false; }
  virtual bool IsArrayValue() const { return false; }
  virtual RefString GetValue() const;
  virtual RefString GetValueRaw() const;
  virtual float GetFloat() const;
  virtual int GetInt() const;
  bool GetBool() const { return GetInt() != 0; }
  // Array operations (nested arrays only).
  virtual int GetItemCount() const;
  virtual const IParamArrayValue& operator[](int index) const;
  virtual IParamArrayValue* AddArray();
  virtual void AddValue(int value);
  virtual void AddValue(float value);
  virtual void AddValue(const char* value);

  virtual void SetFile(ParamFile* /*file*/) {}
  virtual Ref<IParamArrayValue> Clone() const = 0;
  virtual void AddChecksum(IParamChecksum& sum) const = 0;
  // The element's own object and what it holds.
  virtual std::size_t GetElementMemory() const = 0;
  virtual void Compact() {}
  // Transfers the element's payload (after its type byte) in the binary format.
  virtual bool SerializeBin(SerializeBinStream& stream, ParamFileContext& context, int depth) = 0;

  // The shared empty text element returned by failed element lookups.
  static const IParamArrayValue& EmptyText();
};

using ParamRawArray = DynArray<Ref<IParamArrayValue>>;

// The binary payload of a raw value (paramBinary.cpp); false when the stream failed.
bool ParamTransferPayload(SerializeBinStream& stream, ParamFileContext& context, ParamRawValue& raw);
bool ParamTransferPayload(SerializeBinStream& stream, ParamFileContext& context, ParamRawValueInt& raw);
bool ParamTransferPayload(SerializeBinStream& stream, ParamFileContext& context, ParamRawValueFloat& raw);

template <class Raw>
class ParamArrayValueSpec : public IParamArrayValue {
 public:
  ParamArrayValueSpec() = default;
  explicit ParamArrayValueSpec(const Raw& raw) : raw_(raw) {}

  int GetValueType() const override { return Raw::kType; }
  bool IsTextValue() const override { return Raw::kIsText; }
  bool IsFloatValue() const override { return Raw::kIsFloat; }
  bool IsIntValue() const override { return Raw::kIsInt; }
  bool IsExpression() const override { return Raw::kIsExpression; }
  RefString GetValue() const override { return raw_.GetValue(); }
  RefString GetValueRaw() const override { return raw_.GetValueRaw(); }
  float GetFloat() const override { return raw_.GetFloat(); }
  int GetInt() const override { return raw_.GetInt(); }
  void SetFile(ParamFile* file) override { raw_.SetFile(file); }
  Ref<IParamArrayValue> Clone() const override { return new ParamArrayValueSpec(raw_); }
  void AddChecksum(IParamChecksum& sum) const override { raw_.AddChecksum(sum); }
  std::size_t GetElementMemory() const override { return sizeof(*this) + raw_.GetMemoryUsed(); }
  bool SerializeBin(SerializeBinStream& stream, ParamFileContext& context, int) override {
    return ParamTransferPayload(stream, context, raw_);
  }

  const Raw& GetRaw() const { return raw_; }
  Raw& GetRaw() { return raw_; }

 private:
  Raw raw_;
};

// A nested element list.
class ParamArrayValueArray : public IParamArrayValue {
 public:
  int GetValueType() const override { return PVTArray; }
  bool IsArrayValue() const override { return true; }
  int GetItemCount() const override { return items_.Size(); }
  const IParamArrayValue& operator[](int index) const override;
  IParamArrayValue* AddArray() override;
  void AddValue(int value) override;
  void AddValue(float value) override;
  void AddValue(const char* value) override;
  void SetFile(ParamFile* file) override;
  Ref<IParamArrayValue> Clone() const override;
  void AddChecksum(IParamChecksum& sum) const override;
  std::size_t GetElementMemory() const override;
  void Compact() override;
  bool SerializeBin(SerializeBinStream& stream, ParamFileContext& context, int depth) override;

  ParamRawArray& Items() { return items_; }
  const ParamRawArray& Items() const { return items_; }

 private:
  ParamRawArray items_;
};

// A new element of binary type `type` (an unknown code makes a text element), or null for PVTArray's
// caller to handle.
Ref<IParamArrayValue> NewParamArrayValue(int type);

class ParamArray : public ParamEntry {
 public:
  explicit ParamArray(const RefString& name = RefString()) : ParamEntry(name) {}

  using ParamEntry::AddArray;
  using ParamEntry::AddValue;
  using ParamEntry::SetValue;

  bool IsArray() const override { return true; }
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  std::size_t GetMemoryUsed() const override;
  void SetAccess(int level) override { access_ = level; }
  int GetAccess() const override { return access_; }
  void SetValue(int index, float value) override;
  void SetValue(int index, const char* value) override;
  void SetFile(ParamFile* file) override;
  void Clear() override { value_.Clear(); }
  void AddValue(const char* value) override;
  void AddValue(int value) override;
  void AddValue(float value) override;
  IParamArrayValue* AddArray() override;
  const IParamArrayValue& operator[](int index) const override;
  int GetSize() const override { return value_.Size(); }
  void DeleteValue(int index) override;
  void Save(QOStream& out, int indent, const char* lineEnd) const override;
  void SerializeBin(SerializeBinStream& stream, ParamFileContext& context) override;
  void Compact() override;
  void ReserveArrayElements(int count) override { value_.Reserve(count); }
  void AddChecksum(IParamChecksum& sum) const override;

  // Replaces the elements by copies of `source`'s.
  void CopyElements(const ParamArray& source);
  const ParamRawArray& Elements() const { return value_; }
  ParamRawArray& Elements() { return value_; }

 private:
  // The access check before adding elements; false (with its warning) when refused.
  bool CanAdd() const;

  ParamRawArray value_;
  std::int32_t access_ = PADefault;
};
