#include "El/ParamFile/paramArray.h"

#include "El/Common/appFrame.h"

namespace {

void ReportNotArray() { ErrorMessageLevel(3, "%s", "Value not an array."); }

void ReportNotValue() { ErrorMessageLevel(3, "%s", "Array element is not a value."); }

template <class Raw>
Ref<IParamArrayValue> MakeElement() {
  return new ParamArrayValueSpec<Raw>();
}

Ref<IParamArrayValue> TextElement(const char* text) {
  auto* element = new ParamArrayValueSpec<ParamRawValue>();
  element->GetRaw().text = RefString(text ? text : "");
  return element;
}

Ref<IParamArrayValue> IntElement(int value) {
  auto* element = new ParamArrayValueSpec<ParamRawValueInt>();
  element->GetRaw().value = value;
  return element;
}

Ref<IParamArrayValue> FloatElement(float value) {
  auto* element = new ParamArrayValueSpec<ParamRawValueFloat>();
  element->GetRaw().value = value;
  return element;
}

// The element at `index`, or the shared empty text with the range message.
const IParamArrayValue& ElementAt(const ParamRawArray& items, int index, const char* arrayName) {
  if (index < 0 || index >= items.Size()) {
    ErrorMessageLevel(3, "Config: '%s' array does not have %d entries.", arrayName, index + 1);
    return IParamArrayValue::EmptyText();
  }
  return *items[index];
}

}  // namespace

const IParamArrayValue& IParamArrayValue::EmptyText() {
  // Held for the whole process so that its count never returns to 0; from the heap, not from the
  // arena of a load that happens to be running.
  static const Ref<IParamArrayValue> empty = [] {
    ParamArenaScope heap(nullptr);
    return Ref<IParamArrayValue>(new ParamArrayValueSpec<ParamRawValue>());
  }();
  return *empty;
}

RefString IParamArrayValue::GetValue() const {
  ReportNotValue();
  return RefString();
}
RefString IParamArrayValue::GetValueRaw() const {
  ReportNotValue();
  return RefString();
}
float IParamArrayValue::GetFloat() const {
  ReportNotValue();
  return 0;
}
int IParamArrayValue::GetInt() const {
  ReportNotValue();
  return 0;
}
int IParamArrayValue::GetItemCount() const {
  ReportNotArray();
  return 0;
}
const IParamArrayValue& IParamArrayValue::operator[](int) const {
  ReportNotArray();
  return EmptyText();
}
IParamArrayValue* IParamArrayValue::AddArray() {
  ReportNotArray();
  return nullptr;
}
void IParamArrayValue::AddValue(int) { ReportNotArray(); }
void IParamArrayValue::AddValue(float) { ReportNotArray(); }
void IParamArrayValue::AddValue(const char*) { ReportNotArray(); }

Ref<IParamArrayValue> NewParamArrayValue(int type) {
  switch (type) {
    case PVTFloat: return MakeElement<ParamRawValueFloat>();
    case PVTInt: return MakeElement<ParamRawValueInt>();
    case PVTExpression: return MakeElement<ParamRawValueExpression>();
    case PVTArray: return new ParamArrayValueArray();
    default: return MakeElement<ParamRawValue>();
  }
}

const IParamArrayValue& ParamArrayValueArray::operator[](int index) const {
  return ElementAt(items_, index, "");
}
IParamArrayValue* ParamArrayValueArray::AddArray() {
  Ref<IParamArrayValue> nested = new ParamArrayValueArray();
  items_.Add(nested);
  return nested.GetRef();
}
void ParamArrayValueArray::AddValue(int value) { items_.Add(IntElement(value)); }
void ParamArrayValueArray::AddValue(float value) { items_.Add(FloatElement(value)); }
void ParamArrayValueArray::AddValue(const char* value) { items_.Add(TextElement(value)); }
void ParamArrayValueArray::SetFile(ParamFile* file) {
  for (const Ref<IParamArrayValue>& item : items_) item->SetFile(file);
}
Ref<IParamArrayValue> ParamArrayValueArray::Clone() const {
  auto* copy = new ParamArrayValueArray();
  copy->items_.Reserve(items_.Size());
  for (const Ref<IParamArrayValue>& item : items_) copy->items_.Add(item->Clone());
  return copy;
}
void ParamArrayValueArray::AddChecksum(IParamChecksum& sum) const {
  for (const Ref<IParamArrayValue>& item : items_) item->AddChecksum(sum);
}
std::size_t ParamArrayValueArray::GetElementMemory() const {
  std::size_t used = sizeof(*this) + items_.MaxSize() * sizeof(Ref<IParamArrayValue>);
  for (const Ref<IParamArrayValue>& item : items_) used += item->GetElementMemory();
  return used;
}
void ParamArrayValueArray::Compact() {
  items_.Realloc(items_.Size());
  for (const Ref<IParamArrayValue>& item : items_) item->Compact();
}

std::size_t ParamArray::GetMemoryUsed() const {
  std::size_t used = value_.MaxSize() * sizeof(Ref<IParamArrayValue>);
  for (const Ref<IParamArrayValue>& item : value_) used += item->GetElementMemory();
  return used;
}

bool ParamArray::CanAdd() const {
  if (access_ == PAReadAndCreate) {
    WarningMessage("Attempt to modify add-only item %s", GetContext().Data());
    return false;
  }
  if (access_ >= PAReadOnly) {
    WarningMessage("Attempt to modify read-only item %s", GetContext().Data());
    return false;
  }
  return true;
}

void ParamArray::SetValue(int index, float value) {
  if (index < 0 || index >= value_.Size()) {
    ElementAt(value_, index, name_);
    return;
  }
  value_[index] = FloatElement(value);
}

void ParamArray::SetValue(int index, const char* value) {
  if (index < 0 || index >= value_.Size()) {
    ElementAt(value_, index, name_);
    return;
  }
  value_[index] = TextElement(value);
}

void ParamArray::SetFile(ParamFile* file) {
  for (const Ref<IParamArrayValue>& item : value_) item->SetFile(file);
}

void ParamArray::AddValue(const char* value) {
  if (CanAdd()) value_.Add(TextElement(value));
}
void ParamArray::AddValue(int value) {
  if (CanAdd()) value_.Add(IntElement(value));
}
void ParamArray::AddValue(float value) {
  if (CanAdd()) value_.Add(FloatElement(value));
}
IParamArrayValue* ParamArray::AddArray() {
  if (!CanAdd()) return nullptr;
  Ref<IParamArrayValue> nested = new ParamArrayValueArray();
  value_.Add(nested);
  return nested.GetRef();
}

const IParamArrayValue& ParamArray::operator[](int index) const { return ElementAt(value_, index, name_); }

void ParamArray::DeleteValue(int index) { value_.Delete(index, 1); }

void ParamArray::Compact() {
  value_.Realloc(value_.Size());
  for (const Ref<IParamArrayValue>& item : value_) item->Compact();
}

void ParamArray::AddChecksum(IParamChecksum& sum) const {
  for (const Ref<IParamArrayValue>& item : value_) item->AddChecksum(sum);
}

void ParamArray::CopyElements(const ParamArray& source) {
  value_.Clear();
  value_.Reserve(source.value_.Size());
  for (const Ref<IParamArrayValue>& item : source.value_) value_.Add(item->Clone());
}
