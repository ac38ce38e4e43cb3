#include "El/ParamFile/paramFile.h"

#include "El/Common/appFrame.h"

ParamFile::ParamFile() = default;

ParamFile::~ParamFile() { Clear(); }

void ParamFile::Clear() {
  DropLinksRecursive();
  RemoveAllEntries();
  SetBase(nullptr);
  name_ = RefString();
  evaluator_.reset();
  DisableStreaming(false);
  memoryHookRegistered_ = false;
  SetSource(-1, 0);
  SetAccess(PADefault);
  arena_.Free();
}

ParamArena* ParamFile::GetArena() {
  if (!arena_) arena_ = new ParamArena;
  return arena_.GetRef();
}

Evaluator* ParamFile::GetEvaluator() {
  if (!evaluator_) evaluator_.reset(GEvaluatorFunctions->CreateEvaluator(nullptr));
  return evaluator_.get();
}

void ParamFile::CreateEvaluator(Evaluator* parent) {
  Evaluator* created = GEvaluatorFunctions->CreateEvaluator(parent);
  if (created != evaluator_.get()) evaluator_.reset(created);
}

bool ParamFile::UnloadClass(ParamClass& holder, int index) {
  ParamEntry* entry = holder.EntryAt(index);
  if (!entry->IsClass()) {
    PARAM_DIAGNOSTIC("Cannot unload non-class");
    return false;
  }
  auto* cls = static_cast<ParamClass*>(entry);
  if (cls->RefCounter() != 0) {
    LogF("Error: Cannot unload %s", cls->GetContext().Data());
    PARAM_DIAGNOSTIC("Bug - need to link parents and bases again");
    return false;
  }
  if (cls->GetSourceOffset() < 0) {
    ReportAssertionFailed("paramFile", __LINE__, "cls->_sourceOffset>=0");
    return false;
  }
  if (!cls->GetOwner()) return false;
  auto* placeholder = new ParamClassPlaceholder(cls->GetName(), cls->GetOwner(), cls->GetSourceOffset(),
                                                cls->GetSourceSize());
  cls->DropLinksRecursive();
  holder.ReplaceEntry(index, placeholder);
  return true;
}

std::size_t ParamFile::ReleaseMemory(std::size_t bytes) {
  IParamClassSource* owner = GetOwner();
  if (!owner || !owner->CanUnload()) return 0;
  std::size_t released = 0;
  // Member classes join the list after their parent, nearer its head: children go first, and a
  // parent whose last loaded child went becomes unloadable when the walk reaches it.
  ParamClass* cls = owner->FirstInUnloadList();
  while (cls && released < bytes) {
    ParamClass* next = IParamClassSource::NextInUnloadList(*cls);
    ParamClass* holder = cls->GetParentClass();
    if (holder && cls->RefCounter() == 0 && cls->GetSourceOffset() >= 0) {
      int index = holder->FindMember(cls->GetName());
      if (index >= 0 && holder->EntryAt(index) == cls) {
        std::size_t size = cls->GetObjectSize() + cls->GetMemoryUsed();
        // Dropping the class's parent link may free its parent for a later pass.
        if (UnloadClass(*holder, index)) released += size;
      }
    }
    cls = next;
  }
  return released;
}
