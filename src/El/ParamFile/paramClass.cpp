#include "El/ParamFile/paramClass.h"

#include <cstring>
#include <string>

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramArray.h"
#include "El/ParamFile/paramEntryIndex.h"
#include "El/ParamFile/paramValue.h"

namespace {

int liveClasses = 0;

// Walks that mix base and parent links stop after this many steps (such walks can meet a loop that
// the base-cycle check cannot see, made of base and parent links together).
constexpr int kMaxWalkSteps = 65536;

constexpr int kMaxContextName = 511;

}  // namespace

ParamClass::ParamClass(const RefString& name) : ParamEntry(name) { ++liveClasses; }

ParamClass::~ParamClass() {
  if (inUnloadList_) {
    PARAM_ASSERT(!IsInList());
    owner_->RemoveFromUnloadList(*this);
  }
  // Members may refer to each other through base links: cut every link below first, then destroy.
  for (ParamEntry* entry : entries_) {
    if (ParamClass* cls = entry->IsClass() ? static_cast<ParamClass*>(entry) : nullptr) cls->DropLinksRecursive();
  }
  RemoveAllEntries();
  base_.Free();
  parent_.Free();
  if (refCount_ != 0) {
    LogF("Class %s destroyed with lock count %d", name_.Data(), refCount_);
    PARAM_DIAGNOSTIC("Class destroyed, but still locked");
  }
  --liveClasses;
}

int ParamClass::InstanceCount() { return liveClasses; }

int ParamClass::Release() const {
  int left = --refCount_;
  if (left == 0 && detached_) delete this;
  return left;
}

void ParamClass::DisposeEntry(ParamEntry* entry) {
  if (entry->IsClass()) {
    auto* cls = static_cast<ParamClass*>(entry);
    if (cls->refCount_ > 0) {
      cls->detached_ = true;  // the last reference destroys it
      return;
    }
  }
  delete entry;
}

void ParamClass::RemoveAllEntries() {
  for (ParamEntry* entry : entries_) DisposeEntry(entry);
  entries_.Clear();
  index_.reset();
}

void ParamClass::ReplaceEntry(int index, ParamEntry* entry) {
  ParamEntry* old = entries_[index];
  entries_[index] = entry;
  if (old->IsClass()) static_cast<ParamClass*>(old)->DropLinksRecursive();
  DisposeEntry(old);
}

void ParamClass::DropLinksRecursive() {
  // Iterative over the nesting so that a deep tree cannot exhaust the stack; the usual few pending
  // classes fit the inline buffer, so most calls take no block.
  DynArray<ParamClass*, 16> pending;
  pending.Add(this);
  while (pending.Size() > 0) {
    ParamClass* cls = pending[pending.Size() - 1];
    pending.Delete(pending.Size() - 1);
    if (cls->inUnloadList_) cls->owner_->RemoveFromUnloadList(*cls);
    cls->base_.Free();
    cls->parent_.Free();
    for (ParamEntry* entry : cls->entries_) {
      if (entry->IsClass()) pending.Add(static_cast<ParamClass*>(entry));
    }
  }
}

RefString ParamClass::GetContext(const char* member) const {
  std::string text = member ? member : "";
  bool first = true;
  for (const ParamClass* cls = this; cls; cls = cls->parent_.GetRef()) {
    const char* separator = first && member && *member ? "." : "/";
    text = std::string(cls->name_.Data()) + separator + text;
    first = false;
    if (text.size() > kMaxContextName) break;
  }
  if (text.size() > kMaxContextName) text.resize(kMaxContextName);
  return RefString(text.c_str());
}

void ParamClass::CopySource(const ParamEntry& source) {
  const ParamClass* cls = source.GetClassInterface();
  if (!source.IsClass()) {
    PARAM_DIAGNOSTIC("Cannot get a source from non-class");
    return;
  }
  if (!cls) {
    PARAM_DIAGNOSTIC("Not a class?");
    return;
  }
  SetOwner(cls->owner_.GetRef(), false);
  sourceOffset_ = cls->sourceOffset_;
  sourceSize_ = cls->sourceSize_;
}

void ParamClass::SetOwner(IParamClassSource* owner, bool recursive) {
  if (inUnloadList_ && owner_.GetRef() != owner) owner_->RemoveFromUnloadList(*this);
  owner_ = owner;
  if (owner && owner->CanUnload() && !inUnloadList_) owner->AddToUnloadList(*this);
  if (!recursive) return;
  for (ParamEntry* entry : entries_) {
    if (entry->IsClass() || entry->GetPlaceholder()) entry->SetOwner(owner, true);
  }
}

void ParamClass::DisableStreaming(bool recursive) {
  if (inUnloadList_) owner_->RemoveFromUnloadList(*this);
  owner_.Free();
  if (!recursive) return;
  for (int i = 0; i < entries_.Size(); ++i) {
    ParamEntry* entry = MakeLoaded(i);
    if (entry->IsClass()) entry->DisableStreaming(true);
  }
}

std::size_t ParamClass::GetMemoryUsed() const {
  std::size_t used = entries_.MaxSize() * sizeof(ParamEntry*);
  if (index_) used += sizeof(ParamEntryIndex) + index_->GetMemoryUsed();
  for (const ParamEntry* entry : entries_) used += entry->GetObjectSize() + entry->GetMemoryUsed();
  return used;
}

void ParamClass::SetAccessRecursive(int level) {
  access_ = level;
  for (ParamEntry* entry : entries_) entry->SetAccessRecursive(level);
}

RefString ParamClass::GetOwnerName() const {
  if (!owner_) {
    PARAM_DIAGNOSTIC("No owner");
    return RefString();
  }
  return owner_->GetOwnerName();
}

RefString ParamClass::GetSourceName() const {
  if (!owner_) {
    PARAM_DIAGNOSTIC("No owner");
    return RefString();
  }
  return owner_->GetSourceName();
}

bool ParamClass::IsVisible(const IParamVisibleTest& test) const {
  for (const ParamClass* cls = this; cls->parent_; cls = cls->parent_.GetRef()) {
    if (!test(*cls->parent_, *cls)) return false;
  }
  return true;
}

void ParamClass::SetFile(ParamFile* file) {
  for (ParamEntry* entry : entries_) entry->SetFile(file);
}

bool ParamClass::CanModify(const char* member, int minLevel) const {
  if (access_ < minLevel || access_ < PAReadAndCreate) return true;
  if (access_ == PAReadAndCreate) {
    LogF("Trying to modify add-only entry %s", GetContext(member).Data());
  } else {
    LogF("Trying to modify read-only entry %s", GetContext(member).Data());
  }
  return false;
}

int ParamClass::FindMember(const char* name) const {
  return FindMember(name, index_ ? ParamEntryIndex::Hash(name) : 0);
}

int ParamClass::FindMember(const char* name, std::uint32_t hash) const {
  if (index_) return index_->Find(name, hash, entries_);
  for (int i = 0; i < entries_.Size(); ++i) {
    if (ParamNameCompare(entries_[i]->GetName(), name) == 0) return i;
  }
  return -1;
}

int ParamClass::AddEntry(ParamEntry* entry, bool guaranteedUnique) {
  int existing = FindMember(entry->GetName());
  if (existing >= 0) {
    if (guaranteedUnique) {
      PARAM_DIAGNOSTIC("Guaranteed unique Entry already exists");
      WarningMessage("Config: '%s' already defined in '%s'.", entry->GetName().Data(), name_.Data());
    } else {
      PARAM_DIAGNOSTIC("Entry already exists");
      ErrorMessage("Config: '%s' already defined in '%s'.", entry->GetName().Data(), name_.Data());
    }
    ReplaceEntry(existing, entry);
    return existing;
  }
  return AppendEntry(entry);
}

int ParamClass::AppendEntry(ParamEntry* entry) {
  return AppendEntry(entry, index_ ? ParamEntryIndex::Hash(entry->GetName()) : 0);
}

int ParamClass::AppendEntry(ParamEntry* entry, std::uint32_t hash) {
  int position = entries_.Add(entry);
  if (index_) index_->Add(entries_, position, hash);
  return position;
}

void ParamClass::AddValue(const char* name, int value) {
  int existing = FindMember(name);
  if (existing >= 0) {
    MakeLoaded(existing)->SetValue(value);
    return;
  }
  auto* entry = new ParamValueInt(ParamShareName(name));
  entry->GetRaw().value = value;
  AddEntry(entry);
}

void ParamClass::AddValue(const char* name, float value) {
  int existing = FindMember(name);
  if (existing >= 0) {
    MakeLoaded(existing)->SetValue(value);
    return;
  }
  auto* entry = new ParamValueFloat(ParamShareName(name));
  entry->GetRaw().value = value;
  AddEntry(entry);
}

void ParamClass::AddValue(const char* name, const char* value) {
  if (!CanModify(name, PAReadOnly)) return;
  int existing = FindMember(name);
  if (existing >= 0) {
    if (!CanModify(name, PAReadAndCreate)) return;
    MakeLoaded(existing)->SetValue(value);
    return;
  }
  auto* entry = new ParamValueText(ParamShareName(name));
  entry->GetRaw().text = RefString(value ? value : "");
  entry->SetFile(GetRootFile());
  AddEntry(entry);
}

ParamFile* ParamClass::GetRootFile() const {
  const ParamClass* cls = this;
  while (cls->parent_) cls = cls->parent_.GetRef();
  return cls->GetFile();
}

Ref<ParamClass> ParamClass::AddClass(const char* name, bool guaranteedUnique, bool declarationOnly) {
  if (!CanModify(name, PAReadOnly)) return Ref<ParamClass>();
  if (!guaranteedUnique) {
    int existing = FindMember(name);
    if (existing >= 0) {
      ParamEntry* entry = MakeLoaded(existing);
      PARAM_ASSERT(entry->IsClass());
      return entry->IsClass() ? static_cast<ParamClass*>(entry) : nullptr;
    }
  }
  ParamClass* cls = declarationOnly ? new ParamClassDecl(ParamShareName(name)) : new ParamClass(ParamShareName(name));
  cls->parent_ = this;
  Ref<ParamClass> result = cls;
  AddEntry(cls, guaranteedUnique);
  return result;
}

ParamEntryPtr ParamClass::AddArray(const char* name) {
  if (!CanModify(name, PAReadOnly)) return ParamEntryPtr();
  int existing = FindMember(name);
  if (existing >= 0) {
    ParamEntry* entry = MakeLoaded(existing);
    PARAM_ASSERT(entry->IsArray());
    if (!entry->IsArray()) return ParamEntryPtr();
    entry->Clear();
    return ParamEntryPtr(const_cast<ParamClass*>(this), entry);
  }
  auto* array = new ParamArray(ParamShareName(name));
  AddEntry(array);
  return ParamEntryPtr(this, array);
}

void ParamClass::Delete(const char* name) {
  int index = FindMember(name);
  if (index < 0) return;
  ParamEntry* entry = entries_[index];
  if (entry->IsClass()) static_cast<ParamClass*>(entry)->DropLinksRecursive();
  entries_.Delete(index, 1);
  DisposeEntry(entry);
  if (index_) index_->Build(entries_);
}

ParamEntryPtr ParamClass::GetEntry(int index) const {
  if (index < 0 || index >= entries_.Size()) {
    ErrorMessageLevel(3, "Config: '%s' does not have %d entries.", GetContext().Data(), index + 1);
    ParamEntryError* error = ParamEntryError::Shared();
    return ParamEntryPtr(error, error);
  }
  ParamEntry* entry = MakeLoaded(index);
  if (entry->IsClass()) return ParamEntryPtr(static_cast<ParamClass*>(entry), entry);
  return ParamEntryPtr(const_cast<ParamClass*>(this), entry);
}

void ParamClass::BuildIndex() {
  PARAM_ASSERT(!NeedsRestoring());
  if (!index_) index_ = std::make_unique<ParamEntryIndex>();
  index_->Build(entries_);
}

void ParamClass::BuildLoadIndex(int expected) {
  index_ = std::make_unique<ParamEntryIndex>(1);
  index_->Build(entries_, expected);
}

bool ParamClass::NeedsRestoring() const { return false; }

void ParamClass::DropIndex() { index_.reset(); }

ParamEntry* ParamClass::MakeLoaded(int index) const {
  ParamEntry* entry = entries_[index];
  const ParamClassPlaceholder* placeholder = entry->GetPlaceholder();
  if (!placeholder) return entry;
  auto* self = const_cast<ParamClass*>(this);
  auto* cls = new ParamClass(entry->GetName());
  cls->parent_ = self;
  cls->sourceOffset_ = placeholder->GetSourceOffset();
  cls->sourceSize_ = placeholder->GetSourceSize();
  Ref<IParamClassSource> owner = placeholder->GetOwner();
  self->entries_[index] = cls;
  delete entry;
  if (owner) {
    cls->SetOwner(owner.GetRef(), false);
    owner->LoadClass(*cls);
  }
  return cls;
}

ParamEntryPtr ParamClass::SearchOwn(const char* name, const IParamVisibleTest& test) const {
  int index = FindMember(name);
  if (index < 0) return ParamEntryPtr();
  if (!test(*this, *entries_[index])) {
    LogF("Entry %s in %s is not visible", entries_[index]->GetName().Data(), name_.Data());
    return ParamEntryPtr();
  }
  ParamEntry* entry = MakeLoaded(index);
  if (entry->IsClass()) return ParamEntryPtr(static_cast<ParamClass*>(entry), entry);
  return ParamEntryPtr(const_cast<ParamClass*>(this), entry);
}

ParamEntryPtr ParamClass::Search(const char* name, const IParamVisibleTest& test, bool enclosing, bool bases) const {
  for (const ParamClass* scope = this; scope; scope = enclosing ? scope->parent_.GetRef() : nullptr) {
    for (const ParamClass* cls = scope; cls; cls = bases ? cls->base_.GetRef() : nullptr) {
      ParamEntryPtr found = cls->SearchOwn(name, test);
      if (found) return found;
    }
  }
  return ParamEntryPtr();
}

ParamEntryPtr ParamClass::FindEntryNoInheritance(const char* name, const IParamVisibleTest& test) const {
  return Search(name, test, false, false);
}

ParamEntryPtr ParamClass::FindEntry(const char* name, const IParamVisibleTest& test) const {
  return Search(name, test, false, true);
}

ParamEntryPtr ParamClass::FindScoped(const char* name, const IParamVisibleTest& test) const {
  return Search(name, test, true, true);
}

bool ParamClass::HasVisibleEntry(const char* name, const IParamVisibleTest& test) const {
  const ParamClass* cls = this;
  for (int step = 0; cls && step < kMaxWalkSteps; ++step) {
    int index = cls->FindMember(name);
    if (index >= 0) {
      if (test(*cls, *cls->entries_[index])) return true;
      LogF("Entry %s in %s is not visible", cls->entries_[index]->GetName().Data(), cls->name_.Data());
    }
    cls = cls->base_ ? cls->base_.GetRef() : cls->parent_.GetRef();
  }
  return false;
}

ParamEntryPtr ParamClass::FindClassPath(const char* path) const {
  ParamEntryPtr reached(const_cast<ParamClass*>(this), const_cast<ParamClass*>(this));
  std::string text = path ? path : "";
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    std::string component = text.substr(start, end - start);
    ParamEntryPtr next = reached.GetClass()->FindEntry(component.c_str());
    if (!next || !next->IsClass()) break;
    reached = next;
    start = end + 1;
  }
  return reached;
}

ParamEntryPtr ParamClass::GetClass(const char* name) const {
  ParamEntryPtr found = FindEntry(name);
  if (found) return found;
  ErrorMessageLevel(3, "No entry '%s'.", GetContext(name).Data());
  ParamEntryError* error = ParamEntryError::Shared();
  return ParamEntryPtr(error, error);
}

bool ParamClass::LoadBases(const IParamVisibleTest& test, bool recursive) {
  DynArray<ParamClass*> pending;
  pending.Add(this);
  for (int step = 0; pending.Size() > 0 && step < kMaxWalkSteps; ++step) {
    ParamClass* cls = pending[pending.Size() - 1];
    pending.Delete(pending.Size() - 1);
    for (int i = 0; i < cls->entries_.Size(); ++i) {
      if (!test(*cls, *cls->entries_[i])) continue;
      ParamEntry* entry = cls->MakeLoaded(i);
      if (recursive && entry->IsClass()) pending.Add(static_cast<ParamClass*>(entry));
    }
    if (recursive && cls->base_) pending.Add(cls->base_.GetRef());
  }
  return true;
}

ParamEntryPtr ParamClass::GetParent() const {
  if (!parent_) return ParamEntryPtr();
  return ParamEntryPtr(parent_.GetRef(), parent_.GetRef());
}

ParamEntryPtr ParamClass::GetBase() const {
  if (!base_) return ParamEntryPtr();
  return ParamEntryPtr(base_.GetRef(), base_.GetRef());
}

bool ParamClass::SetBase(ParamClass* base) {
  for (const ParamClass* cls = base; cls; cls = cls->base_.GetRef()) {
    if (cls == this) {
      PARAM_DIAGNOSTIC("Base class loop");
      return false;
    }
  }
  base_ = base;
  return true;
}

void ParamClass::Compact() {
  CompactMembers();
  for (ParamEntry* entry : entries_) {
    if (entry->IsClass() || entry->IsArray()) entry->Compact();
  }
}

void ParamClass::AddChecksum(IParamChecksum& sum) const {
  const bool full = access_ > PAReadOnly;
  for (int i = 0; i < entries_.Size(); ++i) {
    if (!full && !entries_[i]->IsClass() && !entries_[i]->GetPlaceholder()) continue;
    MakeLoaded(i)->AddChecksum(sum);
  }
  if (!full) return;
  sum.Add(name_.Data(), name_.GetLength());
  if (base_) sum.Add(base_->name_.Data(), base_->name_.GetLength());
}

bool ParamClass::HasChecksum() const {
  if (access_ > PAReadOnly) return true;
  for (int i = 0; i < entries_.Size(); ++i) {
    if (!entries_[i]->IsClass() && !entries_[i]->GetPlaceholder()) continue;
    if (MakeLoaded(i)->HasChecksum()) return true;
  }
  return false;
}

void ParamClass::InheritAccess() {
  if (access_ != PADefault) return;
  if (base_ && base_->access_ >= 0) {
    access_ = base_->access_;
    return;
  }
  for (const ParamClass* cls = parent_.GetRef(); cls; cls = cls->parent_.GetRef()) {
    if (cls->access_ >= 0) {
      access_ = cls->access_;
      return;
    }
    if (cls->base_ && cls->base_->access_ >= 0) {
      access_ = cls->base_->access_;
      return;
    }
  }
}

ParamEntryError* ParamEntryError::Shared() {
  static ParamEntryError* shared = [] {
    ParamArenaScope heap(nullptr);  // not in the arena of a load that happens to be running
    auto* error = new ParamEntryError();  // lives for the whole process
    error->AddRef();
    return error;
  }();
  return shared;
}

ParamClass* ParamClassPlaceholder::GetClassInterface() {
  LogF("Getting class from %s", name_.Data());
  PARAM_DIAGNOSTIC("Cannot get interface of unloaded class");
  return nullptr;
}

const ParamClass* ParamClassPlaceholder::GetClassInterface() const {
  LogF("Getting class from %s", name_.Data());
  PARAM_DIAGNOSTIC("Cannot get interface of unloaded class");
  return nullptr;
}
