#pragma once
// Classes: ordered named members (values, arrays, classes, declarations, delete markers,
// placeholders), a base class, an enclosing parent and an access level.
//
// Ownership: a class owns its members. Besides, a class has a reference count held by lookup pairs,
// by its member classes (their parent links) and by derived classes (their base links); the count
// decides whether a class may be unloaded. A class removed from its list while references remain is
// kept alive (detached) until the last of them is released, so that no pair, base or parent link ever
// points at a destroyed class.
//
// Member names are looked up ignoring case. Lookups through bases and enclosing classes walk the
// chains iteratively, and a base link that would make a cycle is refused.

#include <memory>

#include "El/ParamFile/paramClassOwner.h"
#include "El/ParamFile/paramEntry.h"
#include "Es/Containers/array.h"

class ParamArray;
class ParamEntryIndex;

class ParamClass : public ParamEntry {
 public:
  explicit ParamClass(const RefString& name = RefString());
  ~ParamClass() override;

  // Reference counting for Ref<ParamClass> and lookup pairs; reaching 0 destroys only a detached class.
  int AddRef() const { return ++refCount_; }
  int Release() const;
  int RefCounter() const { return refCount_; }
  // Number of live class objects (every kind), for leak checks.
  static int InstanceCount();

  using ParamEntry::AddArray;
  using ParamEntry::AddValue;
  using ParamEntry::SetValue;

  RefString GetContext(const char* member = nullptr) const override;
  void CopySource(const ParamEntry& source) override;
  void SetOwner(IParamClassSource* owner, bool recursive) override;
  bool IsClass() const override { return true; }
  ParamClass* GetClassInterface() override { return this; }
  const ParamClass* GetClassInterface() const override { return this; }
  void DisableStreaming(bool recursive) override;
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  std::size_t GetMemoryUsed() const override;
  void SetAccess(int level) override { access_ = level; }
  void SetAccessRecursive(int level) override;
  int GetAccess() const override { return access_; }
  IParamClassSource* GetOwner() const override { return owner_.GetRef(); }
  RefString GetOwnerName() const override;
  RefString GetSourceName() const override;
  bool IsVisible(const IParamVisibleTest& test) const override;
  void SetFile(ParamFile* file) override;
  void AddValue(const char* name, int value) override;
  void AddValue(const char* name, float value) override;
  void AddValue(const char* name, const char* value) override;
  Ref<ParamClass> AddClass(const char* name, bool guaranteedUnique = false, bool declarationOnly = false) override;
  ParamEntryPtr AddArray(const char* name) override;
  void Delete(const char* name) override;
  int GetEntryCount() const override { return entries_.Size(); }
  ParamEntryPtr GetEntry(int index) const override;
  void BuildIndex() override;
  // A name index with about one member per bucket, for loaders that add many members; it is sized for
  // `expected` members in all.
  void BuildLoadIndex(int expected = 0);
  ParamEntryPtr FindEntryNoInheritance(const char* name, const IParamVisibleTest& test = GParamEntryAllVisible) const override;
  ParamEntryPtr FindEntry(const char* name, const IParamVisibleTest& test = GParamEntryAllVisible) const override;
  bool HasVisibleEntry(const char* name, const IParamVisibleTest& test = GParamEntryAllVisible) const override;
  ParamEntryPtr FindClassPath(const char* path) const override;
  ParamEntryPtr GetClass(const char* name) const override;
  bool LoadBases(const IParamVisibleTest& test, bool recursive) override;
  ParamEntryPtr GetParent() const override;
  ParamEntryPtr GetBase() const override;
  void Save(QOStream& out, int indent, const char* lineEnd) const override;
  void SerializeBin(SerializeBinStream& stream, ParamFileContext& context) override;
  void Compact() override;
  // Shrinks the member list to its size, leaving member classes and arrays as they are.
  void CompactMembers() { entries_.Realloc(entries_.Size()); }
  void Reserve(int count) override { entries_.Reserve(count); }
  void AddChecksum(IParamChecksum& sum) const override;
  bool HasChecksum() const override;
  virtual ParamFile* GetFile() const { return nullptr; }

  // Scoped search with enclosing classes and bases (how base names of the text form are resolved).
  ParamEntryPtr FindScoped(const char* name, const IParamVisibleTest& test = GParamEntryAllVisible) const;
  // Drops the name index (lookups scan the members again).
  void DropIndex();
  // False while the class's body is not in memory (always false for a class object itself).
  bool NeedsRestoring() const;

  // Merges `source` into this class (see paramClassUpdate.cpp); true when every member of this class
  // was applied from `source` and the base was settled.
  bool Update(const ParamClass& source, bool protect = false, bool quiet = false);

  // Direct structure access, for the loaders and the merge.
  ParamClass* GetBaseClass() const { return base_.GetRef(); }
  ParamClass* GetParentClass() const { return parent_.GetRef(); }
  // Sets the base; a base whose chain leads back to this class is refused (false).
  bool SetBase(ParamClass* base);
  void SetParent(ParamClass* parent) { parent_ = parent; }
  // Position of the member named `name` (ignoring case), or -1. A loader that knows the name's hash
  // (ParamEntryIndex::Hash) passes it.
  int FindMember(const char* name) const;
  int FindMember(const char* name, std::uint32_t hash) const;
  // The member at `index` as stored (a placeholder stays one).
  ParamEntry* EntryAt(int index) const { return entries_[index]; }
  // The member at `index`, with a placeholder first replaced by its class read back from the owner.
  ParamEntry* MakeLoaded(int index) const;
  // Adds a member (see the member rules): replaces a member of the same name in place, else appends.
  // Returns its position. Takes ownership of `entry`.
  int AddEntry(ParamEntry* entry, bool guaranteedUnique = false);
  // Appends a member whose name the caller has just found absent (FindMember gave -1), without looking
  // it up again. Returns its position. Takes ownership of `entry`.
  int AppendEntry(ParamEntry* entry);
  int AppendEntry(ParamEntry* entry, std::uint32_t hash);
  // Replaces the member at `index` by `entry` (taking ownership); the old member is released.
  void ReplaceEntry(int index, ParamEntry* entry);
  // Removes every member.
  void RemoveAllEntries();
  // Takes an inherited access level when this class has none.
  void InheritAccess();
  // Drops base and parent links of this class and of every member class below it.
  void DropLinksRecursive();
  // The access check before a change: false, with its log line naming `member`, when this class's
  // level is `minLevel` or above (level 1 "add-only", 2 or more "read-only").
  bool CanModify(const char* member, int minLevel) const;

  std::int32_t GetSourceOffset() const { return sourceOffset_; }
  std::int32_t GetSourceSize() const { return sourceSize_; }
  void SetSource(std::int32_t offset, std::int32_t size) {
    sourceOffset_ = offset;
    sourceSize_ = size;
  }
  bool IsInList() const { return inUnloadList_; }
  // The file at the root of this class's tree (none for a tree without a ParamFile root).
  ParamFile* GetRootFile() const;
  // Sets the owner without registering (for placeholders' replacements and the loaders).
  void SetOwnerOnly(IParamClassSource* owner) { owner_ = owner; }

 protected:
  // Scoped search over own members, then (with `bases`) the base chain, then (with `enclosing`) the
  // enclosing classes with their bases.
  ParamEntryPtr Search(const char* name, const IParamVisibleTest& test, bool enclosing, bool bases) const;

 private:
  friend class IParamClassSource;
  // Gives up ownership of a removed member: destroys it, or detaches a class still referenced.
  static void DisposeEntry(ParamEntry* entry);
  // Looks up own members only, honouring the test (the log line for a refused member).
  ParamEntryPtr SearchOwn(const char* name, const IParamVisibleTest& test) const;

  // Unload list links (the owner holds the head).
  ParamClass* unloadPrev_ = nullptr;
  ParamClass* unloadNext_ = nullptr;
  bool inUnloadList_ = false;
  bool detached_ = false;
  std::unique_ptr<ParamEntryIndex> index_;
  DynArray<ParamEntry*> entries_;
  Ref<ParamClass> base_;
  Ref<ParamClass> parent_;
  std::int32_t access_ = PADefault;
  mutable std::int32_t refCount_ = 0;
  Ref<IParamClassSource> owner_;
  std::int32_t sourceOffset_ = -1;
  std::int32_t sourceSize_ = 0;
};

// `class Name;`: a class that reports not defined.
class ParamClassDecl : public ParamClass {
 public:
  explicit ParamClassDecl(const RefString& name = RefString()) : ParamClass(name) {}
  bool IsDefined() const override { return false; }
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  void Save(QOStream& out, int indent, const char* lineEnd) const override;
};

// `delete Name;`: a marker that removes a class when merged.
class ParamClassDelete : public ParamClass {
 public:
  explicit ParamClassDelete(const RefString& name = RefString()) : ParamClass(name) {}
  bool IsDefined() const override { return false; }
  bool IsDelete() const override { return true; }
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  void Save(QOStream& out, int indent, const char* lineEnd) const override;
};

// The class-like entry returned by failed class lookups: empty, refuses changes, reports IsError.
class ParamEntryError : public ParamClass {
 public:
  bool IsError() const override { return true; }
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  void AddValue(const char* name, int value) override { ParamEntry::AddValue(name, value); }
  void AddValue(const char* name, float value) override { ParamEntry::AddValue(name, value); }
  void AddValue(const char* name, const char* value) override { ParamEntry::AddValue(name, value); }
  Ref<ParamClass> AddClass(const char* name, bool unique = false, bool declaration = false) override {
    return ParamEntry::AddClass(name, unique, declaration);
  }
  ParamEntryPtr AddArray(const char* name) override { return ParamEntry::AddArray(name); }
  void Delete(const char* name) override { ParamEntry::Delete(name); }

  // The one shared instance.
  static ParamEntryError* Shared();
};

// Stands for a member class whose body is not in memory; it is replaced by the class, read back
// through its owner, whenever the member is reached.
class ParamClassPlaceholder : public ParamEntry {
 public:
  ParamClassPlaceholder(const RefString& name, IParamClassSource* owner, std::int32_t offset, std::int32_t size)
      : ParamEntry(name), owner_(owner), sourceOffset_(offset), sourceSize_(size) {}

  void SetOwner(IParamClassSource* owner, bool) override { owner_ = owner; }
  ParamClass* GetClassInterface() override;
  const ParamClass* GetClassInterface() const override;
  ParamClassPlaceholder* GetPlaceholder() override { return this; }
  const ParamClassPlaceholder* GetPlaceholder() const override { return this; }
  std::size_t GetObjectSize() const override { return sizeof(*this); }
  IParamClassSource* GetOwner() const override { return owner_.GetRef(); }
  void SetFile(ParamFile*) override {}
  void SerializeBin(SerializeBinStream& stream, ParamFileContext& context) override;
  void AddChecksum(IParamChecksum&) const override {}

  std::int32_t GetSourceOffset() const { return sourceOffset_; }
  std::int32_t GetSourceSize() const { return sourceSize_; }

 private:
  Ref<IParamClassSource> owner_;
  std::int32_t sourceOffset_;
  std::int32_t sourceSize_;
};
