#include "El/ParamFile/paramEntry.h"

#include <utility>

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramArray.h"
#include "El/ParamFile/paramClass.h"
#include "Es/Containers/nameText.h"
#include "Es/Containers/stringBank.h"

const ParamEntryAllVisible GParamEntryAllVisible;

RefString ParamShareName(const char* text) {
  if (!text || !*text) return RefString();
  return GStringBank().Share(text);
}

int ParamNameCompare(const char* a, const char* b) {
  if (a == b) return 0;  // shared names: the same block
  // ASCII folding only: names are compared the same way whatever the C library's locale.
  for (;; ++a, ++b) {
    const int ca = static_cast<unsigned char>(LowerAscii(*a));
    const int cb = static_cast<unsigned char>(LowerAscii(*b));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
}

void ParamReportDiagnostic(int line, const char* text) { ReportPositionError("paramFile", line, text); }

ParamEntryPtr::ParamEntryPtr() = default;
ParamEntryPtr::ParamEntryPtr(ParamClass* holder, ParamEntry* entry) : holder_(holder), entry_(entry) {}
ParamEntryPtr::ParamEntryPtr(const ParamEntryPtr& other) = default;
ParamEntryPtr::ParamEntryPtr(ParamEntryPtr&& other) noexcept
    : holder_(std::move(other.holder_)), entry_(other.entry_) {
  other.entry_ = nullptr;
}
ParamEntryPtr& ParamEntryPtr::operator=(const ParamEntryPtr& other) = default;
ParamEntryPtr& ParamEntryPtr::operator=(ParamEntryPtr&& other) noexcept {
  if (this != &other) {
    holder_ = std::move(other.holder_);
    entry_ = other.entry_;
    other.entry_ = nullptr;
  }
  return *this;
}
ParamEntryPtr::~ParamEntryPtr() = default;
void ParamEntryPtr::Free() {
  entry_ = nullptr;
  holder_.Free();
}

ParamEntry::ParamEntry(const RefString& name) : name_(name) {}

ParamEntry::~ParamEntry() = default;

void ParamEntry::SetName(const char* name) { name_ = ParamShareName(name); }

RefString ParamEntry::GetContext(const char* member) const {
  if (member && *member) return RefString::Format("%s.%s", name_.Data(), member);
  return name_;
}

void ParamEntry::ReportEntryError(const char* format) const {
  ErrorMessageLevel(3, format, GetContext().Data());
}

void ParamEntry::ReportNotClass(const char* accessed) const {
  ErrorMessageLevel(3, "'%s' is not a class ('%s' accessed)", GetContext().Data(), accessed ? accessed : "");
}

void ParamEntry::CopySource(const ParamEntry&) { PARAM_DIAGNOSTIC("Cannot set entry owner"); }
void ParamEntry::SetOwner(IParamClassSource*, bool) { PARAM_DIAGNOSTIC("Cannot set entry owner"); }
void ParamEntry::DisableStreaming(bool) { PARAM_DIAGNOSTIC("Cannot set entry streaming"); }

IParamClassSource* ParamEntry::GetOwner() const {
  PARAM_DIAGNOSTIC("Not supported");
  return nullptr;
}
RefString ParamEntry::GetOwnerName() const {
  PARAM_DIAGNOSTIC("Not supported");
  return RefString();
}
RefString ParamEntry::GetSourceName() const {
  PARAM_DIAGNOSTIC("Not supported");
  return RefString();
}
bool ParamEntry::IsVisible(const IParamVisibleTest&) const {
  PARAM_DIAGNOSTIC("ParamEntry does not know if it is visible");
  return true;
}

ParamEntry* ParamEntry::Clone() const {
  ReportEntryError("'%s' is not a value");
  return nullptr;
}
RefString ParamEntry::GetValue() const {
  ReportEntryError("'%s' is not a value");
  return RefString();
}
float ParamEntry::GetFloat() const {
  ReportEntryError("'%s' is not a value");
  return 0;
}
int ParamEntry::GetInt() const {
  ReportEntryError("'%s' is not a value");
  return 0;
}
bool ParamEntry::GetBool() const {
  ReportEntryError("'%s' is not a value");
  return false;
}
std::int32_t ParamEntry::GetInt32() const { return GetInt(); }
RefString ParamEntry::GetValueRaw() const {
  ReportEntryError("'%s' is not a value");
  return RefString();
}
RefString ParamEntry::GetValueString() const { return GetValue(); }

void ParamEntry::SetValue(int, const IParamArrayValue&) { ReportEntryError("SetValue: '%s' not an array"); }
void ParamEntry::SetValue(int, float) { ReportEntryError("SetValue: '%s' not an array"); }
void ParamEntry::SetValue(int, const char*) { ReportEntryError("SetValue: '%s' not an array"); }
void ParamEntry::SetValue(int) { ReportEntryError("'%s' is not a value"); }
void ParamEntry::SetValue(float) { ReportEntryError("'%s' is not a value"); }
void ParamEntry::SetValue(const char*) { ReportEntryError("'%s' is not a value"); }

void ParamEntry::AddValue(const char* name, int) { ReportNotClass(name); }
void ParamEntry::AddValue(const char* name, float) { ReportNotClass(name); }
void ParamEntry::AddValue(const char* name, const char*) { ReportNotClass(name); }
Ref<ParamClass> ParamEntry::AddClass(const char* name, bool, bool) {
  ReportNotClass(name);
  return Ref<ParamClass>();
}
ParamEntryPtr ParamEntry::AddArray(const char* name) {
  ReportNotClass(name);
  return ParamEntryPtr();
}
void ParamEntry::Clear() { ReportEntryError("'%s' is not an array."); }
void ParamEntry::Delete(const char* name) { ReportNotClass(name); }
void ParamEntry::AddValue(const char*) { ReportEntryError("'%s' is not an array."); }
void ParamEntry::AddValue(int) { ReportEntryError("'%s' is not an array."); }
void ParamEntry::AddValue(float) { ReportEntryError("'%s' is not an array."); }
IParamArrayValue* ParamEntry::AddArray() {
  ReportEntryError("'%s' is not an array.");
  return nullptr;
}

int ParamEntry::GetEntryCount() const {
  ReportEntryError("'%s' is not a class.");
  return 0;
}
ParamEntryPtr ParamEntry::GetEntry(int) const {
  ReportEntryError("'%s' is not a class.");
  ParamEntryError* error = ParamEntryError::Shared();
  return ParamEntryPtr(error, error);
}
void ParamEntry::BuildIndex() { ReportEntryError("'%s' is not a class."); }

const IParamArrayValue& ParamEntry::operator[](int) const {
  ReportEntryError("[]: '%s' not an array");
  return IParamArrayValue::EmptyText();
}
int ParamEntry::GetSize() const {
  ReportEntryError("Size: '%s' not an array");
  return 0;
}
void ParamEntry::DeleteValue(int) { ReportEntryError("DeleteValue: '%s' not an array"); }

ParamEntryPtr ParamEntry::FindEntryNoInheritance(const char* name, const IParamVisibleTest&) const {
  ReportNotClass(name);
  return ParamEntryPtr();
}
ParamEntryPtr ParamEntry::FindEntry(const char* name, const IParamVisibleTest&) const {
  ReportNotClass(name);
  return ParamEntryPtr();
}
bool ParamEntry::HasVisibleEntry(const char* name, const IParamVisibleTest&) const {
  ReportNotClass(name);
  return false;
}
ParamEntryPtr ParamEntry::FindClassPath(const char* path) const {
  ReportNotClass(path);
  return ParamEntryPtr();
}
ParamEntryPtr ParamEntry::GetClass(const char* name) const {
  ReportNotClass(name);
  ParamEntryError* error = ParamEntryError::Shared();
  return ParamEntryPtr(error, error);
}
bool ParamEntry::LoadBases(const IParamVisibleTest&, bool) {
  ReportNotClass("");
  return true;
}
ParamEntryPtr ParamEntry::GetParent() const {
  ReportNotClass("");
  return ParamEntryPtr();
}
ParamEntryPtr ParamEntry::GetBase() const {
  ReportNotClass("");
  return ParamEntryPtr();
}
void ParamEntry::Save(QOStream&, int, const char*) const {}
