// The merge of one class into another (ParamClass::Update).

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramArray.h"
#include "El/ParamFile/paramClass.h"

namespace {

// The base named `name` as seen from the class `target`: searched from target's parent with enclosing
// classes and bases; a hit on target itself is searched again from the parent's base, then from the
// parent's parent.
ParamEntryPtr FindUpdateBase(const ParamClass& target, const char* name) {
  const ParamClass* parent = target.GetParentClass();
  if (!parent) return ParamEntryPtr();
  ParamEntryPtr found = parent->FindScoped(name);
  if (found.GetPointer() != &target) return found;
  if (parent->GetBaseClass()) {
    found = parent->GetBaseClass()->FindScoped(name);
    if (found && found.GetPointer() != &target) return found;
  }
  if (parent->GetParentClass()) {
    found = parent->GetParentClass()->FindScoped(name);
    if (found.GetPointer() != &target) return found;
  }
  return ParamEntryPtr();
}

// Number of member classes (each holds one reference through its parent link).
int MemberClassCount(const ParamClass& cls) {
  int count = 0;
  for (int i = 0; i < cls.GetEntryCount(); ++i) count += cls.EntryAt(i)->IsClass();
  return count;
}

}  // namespace

bool ParamClass::Update(const ParamClass& source, bool protect, bool quiet) {
  const int level = protect ? access_ : PAReadAndWrite;
  if (protect && access_ >= PAReadOnly) {
    if (source.GetEntryCount() > 0) {
      CanModify(RefString::Format("** Update **, by %s", source.GetContext().Data()), PAReadOnly);
    }
    return false;
  }

  // The base.
  bool baseSettled = true;
  const char* oldBaseName = base_ ? base_->GetName().Data() : "";
  if (source.base_) {
    const char* baseName = source.base_->GetName();
    ParamEntryPtr found = FindUpdateBase(*this, baseName);
    if (!found || !found->IsClass()) {
      WarningMessage("Error updating '%s' by '%s', base '%s'", GetContext().Data(), source.GetContext().Data(),
                     baseName);
      ErrorMessage("%s: Cannot find base class '%s'", GetContext().Data(), baseName);
      return false;
    }
    auto* newBase = static_cast<ParamClass*>(found.GetPointer());
    if (newBase != base_.GetRef()) {
      if (!quiet) {
        WarningMessage("Updating base class %s->%s, by %s", oldBaseName, baseName, source.GetContext().Data());
      }
      if (access_ > PAReadAndWrite) {
        CanModify(RefString::Format("** Update base %s->%s **, by %s", oldBaseName, baseName,
                                    source.GetContext().Data()),
                  PAReadAndCreate);
        baseSettled = false;
      } else if (!SetBase(newBase)) {
        baseSettled = false;
      }
    }
  } else if (base_) {
    if (!quiet) WarningMessage("Updating base class %s->%s, by %s", oldBaseName, "", source.GetContext().Data());
    if (access_ > PAReadAndWrite) {
      CanModify(RefString::Format("** Update base %s-><null> **, by %s", oldBaseName, source.GetContext().Data()),
                PAReadAndCreate);
      baseSettled = false;
    } else {
      base_.Free();
    }
  }

  // The members.
  int applied = 0;
  for (int i = 0; i < source.GetEntryCount(); ++i) {
    ParamEntry* entry = source.MakeLoaded(i);
    const char* name = entry->GetName();
    int existing = FindMember(name);
    ParamEntry* current = existing >= 0 ? MakeLoaded(existing) : nullptr;

    if (entry->IsDelete()) {
      if (!current) continue;
      if (level > PAReadAndWrite) {
        CanModify("**Update**", PAReadAndCreate);
        return false;
      }
      if (current->IsClass()) {
        auto* cls = static_cast<ParamClass*>(current);
        if (cls->RefCounter() - MemberClassCount(*cls) > 1) {
          WarningMessage("Cannot delete class %s, it is referenced somewhere (used as a base class probably).",
                         cls->GetContext().Data());
          continue;
        }
      }
      Delete(name);
      continue;
    }

    if (entry->IsClass()) {
      auto* from = static_cast<ParamClass*>(entry);
      if (!from->IsDefined()) {
        if (FindEntry(name)) continue;
        LogF("Note: '%s' is declared, but definition was not found. Creating empty class (source: %s)",
             from->GetContext().Data(), from->owner_ ? from->owner_->GetSourceName().Data() : "");
      }
      if (current && !current->IsClass()) {
        RefString message = RefString::Format("Cannot update non class from class %s", from->GetContext().Data());
        PARAM_DIAGNOSTIC(message);
        return false;
      }
      auto* into = static_cast<ParamClass*>(current);
      const bool bothHadMembers = into && into->GetEntryCount() > 0 && from->GetEntryCount() > 0;
      if (into && !into->IsDefined()) {
        // A declaration gets a body: it becomes a defined class in its place.
        WarningMessage("Cannot update undefined class %s", into->GetContext().Data());
        auto* defined = new ParamClass(into->GetName());
        ReplaceEntry(existing, defined);
        into = defined;
        into->CopySource(*from);
      } else if (into && into->GetEntryCount() == 0) {
        into->CopySource(*from);
      } else if (!into) {
        into = new ParamClass(ParamShareName(name));
        into->CopySource(*from);
        AddEntry(into);
      }
      into->parent_ = this;
      if (from->IsDefined()) {
        const bool merged = into->Update(*from, protect, quiet);
        if (merged) {
          ++applied;
          if (bothHadMembers) into->CopySource(*from);
        } else if (bothHadMembers && into->owner_) {
          into->SetOwner(new ParamClassOwnerIndirectNoUnload(into->owner_.GetRef()), false);
        }
      }
      continue;
    }

    if (entry->IsArray()) {
      if (current && !current->IsArray()) {
        WarningMessage("%s: Cannot update non array from array", GetContext(name).Data());
        return false;
      }
      if (current && level > PAReadAndWrite) {
        CanModify("**Update**", PAReadAndCreate);
        return false;
      }
      if (!current) {
        current = new ParamArray(ParamShareName(name));
        AddEntry(current);
      }
      static_cast<ParamArray*>(current)->CopyElements(*static_cast<const ParamArray*>(entry));
      current->SetFile(GetRootFile());
      ++applied;
      continue;
    }

    // A value.
    if (level >= PAReadAndCreate) {
      CanModify("**Update**", PAReadAndCreate);
      continue;
    }
    if (current) Delete(name);
    ParamEntry* copy = entry->Clone();
    if (copy) {
      copy->SetFile(GetRootFile());
      AddEntry(copy);
    }
    ++applied;
  }

  entries_.Realloc(entries_.Size());
  return entries_.Size() == applied && baseSettled;
}
