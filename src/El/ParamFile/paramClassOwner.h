#pragma once
// Owners of classes (`IParamClassSource`): where a tree came from. An owner names its source for
// messages, says whether its classes may be unloaded to save memory, and can read one class body back
// from its binary file. Classes of an owner that allows unloading are kept on the owner's unload list,
// from which the memory-release hook of ParamFile picks classes to replace by placeholders.

#include "Es/Containers/compactBuf.h"
#include "Es/Containers/refCount.h"

class ParamClass;
class ParamFileContext;

class IParamClassSource : public RefCount {
 public:
  ~IParamClassSource() override;

  virtual bool CanUnload() const = 0;
  virtual RefString GetOwnerName() const = 0;
  virtual RefString GetSourceName() const = 0;
  virtual void SetOwnerName(const char* name) = 0;
  // Reads the body of `cls` (a fresh empty class with name, parent, owner and source offset set) back
  // from the source; false when it cannot.
  virtual bool LoadClass(ParamClass& cls) = 0;
  // The loader hands over the state of the file it is reading (version and strings).
  virtual void SetContext(const ParamFileContext& /*context*/) {}

  // The unload list (intrusive, through the classes' own links).
  void AddToUnloadList(ParamClass& cls);
  void RemoveFromUnloadList(ParamClass& cls);
  ParamClass* FirstInUnloadList() const { return unloadHead_; }
  static ParamClass* NextInUnloadList(const ParamClass& cls);

 private:
  ParamClass* unloadHead_ = nullptr;
};

// Classes read from a named binary file; they may be unloaded and are read back from that file.
class ParamClassOwnerFilename : public IParamClassSource {
 public:
  explicit ParamClassOwnerFilename(const char* fileName) : fileName_(fileName) {}

  bool CanUnload() const override { return true; }
  RefString GetOwnerName() const override { return fileName_; }
  RefString GetSourceName() const override { return fileName_; }
  void SetOwnerName(const char* name) override { fileName_ = RefString(name); }
  bool LoadClass(ParamClass& cls) override;

 private:
  RefString fileName_;
};

// Classes that stay in memory: an owner name and a source name for messages only.
class ParamClassOwnerNoUnload : public IParamClassSource {
 public:
  explicit ParamClassOwnerNoUnload(const char* ownerName, const char* sourceName = "")
      : ownerName_(ownerName), sourceName_(sourceName) {}

  bool CanUnload() const override { return false; }
  RefString GetOwnerName() const override { return ownerName_; }
  RefString GetSourceName() const override { return sourceName_; }
  void SetOwnerName(const char* name) override { ownerName_ = RefString(name); }
  bool LoadClass(ParamClass&) override { return false; }

 private:
  RefString ownerName_;
  RefString sourceName_;
};

// Wraps another owner and forbids unloading; the names come from the wrapped owner.
class ParamClassOwnerIndirectNoUnload : public IParamClassSource {
 public:
  explicit ParamClassOwnerIndirectNoUnload(IParamClassSource* inner) : inner_(inner) {}

  bool CanUnload() const override { return false; }
  RefString GetOwnerName() const override;
  RefString GetSourceName() const override;
  void SetOwnerName(const char* name) override;  // a misuse: reported, ignored
  bool LoadClass(ParamClass& cls) override;

 private:
  Ref<IParamClassSource> inner_;
};
