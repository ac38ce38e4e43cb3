#include "El/ParamFile/paramClassOwner.h"

#include "El/ParamFile/paramClass.h"

IParamClassSource::~IParamClassSource() {
  // Classes hold their owner by a counted reference, so none can still be listed here.
  while (unloadHead_) RemoveFromUnloadList(*unloadHead_);
}

void IParamClassSource::AddToUnloadList(ParamClass& cls) {
  if (cls.inUnloadList_) return;
  cls.unloadPrev_ = nullptr;
  cls.unloadNext_ = unloadHead_;
  if (unloadHead_) unloadHead_->unloadPrev_ = &cls;
  unloadHead_ = &cls;
  cls.inUnloadList_ = true;
}

void IParamClassSource::RemoveFromUnloadList(ParamClass& cls) {
  if (!cls.inUnloadList_) return;
  if (cls.unloadPrev_) {
    cls.unloadPrev_->unloadNext_ = cls.unloadNext_;
  } else {
    unloadHead_ = cls.unloadNext_;
  }
  if (cls.unloadNext_) cls.unloadNext_->unloadPrev_ = cls.unloadPrev_;
  cls.unloadPrev_ = cls.unloadNext_ = nullptr;
  cls.inUnloadList_ = false;
}

ParamClass* IParamClassSource::NextInUnloadList(const ParamClass& cls) { return cls.unloadNext_; }

RefString ParamClassOwnerIndirectNoUnload::GetOwnerName() const {
  return inner_ ? inner_->GetOwnerName() : RefString();
}

RefString ParamClassOwnerIndirectNoUnload::GetSourceName() const {
  return inner_ ? inner_->GetSourceName() : RefString();
}

void ParamClassOwnerIndirectNoUnload::SetOwnerName(const char*) {
  PARAM_DIAGNOSTIC("SetOwnerName should never be used on indirect classes");
}

bool ParamClassOwnerIndirectNoUnload::LoadClass(ParamClass& cls) { return inner_ && inner_->LoadClass(cls); }
