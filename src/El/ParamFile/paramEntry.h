#pragma once
// The config tree: a root `ParamFile`, classes holding ordered named members, values of four kinds
// (text, integer, float, expression) and arrays whose elements may nest. `ParamEntry` is the base of
// every entry; its virtual operations cover all kinds, and an operation that does not fit an entry's
// kind reports the misuse through the diagnostics and returns a neutral result (0, false, empty, the
// shared error entry). Nothing throws.
//
// Entries are owned by exactly one container (a class's member list; the root by its user). Classes
// also carry a reference count held by lookup pairs, by their member classes (parent links) and by
// derived classes (base links); see paramClass.h.

#include <cstddef>
#include <cstdint>

#include "El/ParamFile/paramArena.h"
#include "Es/Containers/compactBuf.h"
#include "Es/Containers/refCount.h"

class ParamEntry;
class ParamClass;
class ParamFile;
class ParamClassPlaceholder;
class IParamArrayValue;
class IParamClassSource;
class ParamFileContext;
class SerializeBinStream;
class QOStream;

// Access levels of classes and arrays.
enum ParamAccess : std::int32_t {
  PADefault = -1,        // not set: inherited when the class is complete
  PAReadAndWrite = 0,
  PAReadAndCreate = 1,   // members may be added, not changed
  PAReadOnly = 2,
  PAReadOnlyVerified = 3 // read only, and included in checksums
};

// Deepest nesting of classes and arrays accepted from a file.
constexpr int kParamMaxNesting = 128;

// Decides whether a member may be seen through a lookup: (holding class, member) -> visible.
class IParamVisibleTest {
 public:
  virtual ~IParamVisibleTest() = default;
  virtual bool operator()(const ParamClass& holder, const ParamEntry& member) const = 0;
};

class ParamEntryAllVisible : public IParamVisibleTest {
 public:
  bool operator()(const ParamClass&, const ParamEntry&) const override { return true; }
};
// The test used by every lookup that names none.
extern const ParamEntryAllVisible GParamEntryAllVisible;

// Receives the bytes of a checksum (see AddChecksum).
class IParamChecksum {
 public:
  virtual ~IParamChecksum() = default;
  virtual void Add(const void* data, int size) = 0;
};

// A lookup result: the holding class, kept alive by a counted reference while the pair exists, and
// the entry found, borrowed from it. An empty pair (no class, no entry) means "not found".
class ParamEntryPtr {
 public:
  ParamEntryPtr();
  ParamEntryPtr(ParamClass* holder, ParamEntry* entry);
  ParamEntryPtr(const ParamEntryPtr& other);
  ParamEntryPtr(ParamEntryPtr&& other) noexcept;
  ParamEntryPtr& operator=(const ParamEntryPtr& other);
  ParamEntryPtr& operator=(ParamEntryPtr&& other) noexcept;
  ~ParamEntryPtr();

  ParamEntry* GetPointer() const { return entry_; }
  ParamEntry* operator->() const { return entry_; }
  ParamEntry& operator*() const { return *entry_; }
  ParamClass* GetClass() const { return holder_.GetRef(); }
  bool IsNull() const { return entry_ == nullptr; }
  bool NotNull() const { return entry_ != nullptr; }
  explicit operator bool() const { return entry_ != nullptr; }
  void Free();

 private:
  Ref<ParamClass> holder_;
  ParamEntry* entry_ = nullptr;
};

class ParamEntry {
 public:
  explicit ParamEntry(const RefString& name = RefString());
  ParamEntry(const ParamEntry&) = delete;
  ParamEntry& operator=(const ParamEntry&) = delete;
  PARAM_ARENA_ALLOCATED

  // The name, as a shared string from the process-wide string bank.
  const RefString& GetName() const { return name_; }
  void SetName(const char* name);
  // Sets a name that is already shared through the string bank.
  void SetSharedName(const RefString& name) { name_ = name; }
  // Context name for messages: the path of enclosing class names joined by "/", ending in "/" for a
  // class or followed by "." and `member` when one is given (at most 511 characters).
  virtual RefString GetContext(const char* member = nullptr) const;

  virtual void CopySource(const ParamEntry& source);
  virtual void SetOwner(IParamClassSource* owner, bool recursive);
  virtual bool IsClass() const { return false; }
  virtual bool IsDefined() const { return true; }
  virtual bool IsDelete() const { return false; }
  virtual ParamClass* GetClassInterface() { return nullptr; }
  virtual const ParamClass* GetClassInterface() const { return nullptr; }
  virtual ParamClassPlaceholder* GetPlaceholder() { return nullptr; }
  virtual const ParamClassPlaceholder* GetPlaceholder() const { return nullptr; }
  virtual void DisableStreaming(bool recursive);
  virtual bool IsArray() const { return false; }
  virtual bool IsTextValue() const { return false; }
  virtual bool IsFloatValue() const { return false; }
  virtual bool IsIntValue() const { return false; }
  virtual bool IsExpression() const { return false; }
  virtual bool IsError() const { return false; }
  virtual ~ParamEntry();
  // Size of the entry's own object, and the memory it holds beyond it.
  virtual std::size_t GetObjectSize() const = 0;
  virtual std::size_t GetMemoryUsed() const { return 0; }
  virtual void SetAccess(int /*level*/) {}
  virtual void SetAccessRecursive(int /*level*/) {}
  virtual int GetAccess() const { return PADefault; }
  virtual IParamClassSource* GetOwner() const;
  virtual RefString GetOwnerName() const;
  virtual RefString GetSourceName() const;
  virtual bool IsVisible(const IParamVisibleTest& test) const;
  // Values: a copy with the same name and value.
  virtual ParamEntry* Clone() const;
  virtual RefString GetValue() const;
  virtual float GetFloat() const;
  virtual int GetInt() const;
  virtual bool GetBool() const;
  virtual std::int32_t GetInt32() const;        // second integer form
  virtual RefString GetValueRaw() const;        // without localisation or evaluation
  virtual RefString GetValueString() const;     // second string form
  virtual void SetValue(int index, const IParamArrayValue& value);  // kept for the interface
  virtual void SetValue(int index, float value);
  virtual void SetValue(int index, const char* value);
  virtual void SetValue(int value);
  virtual void SetValue(float value);
  virtual void SetValue(const char* value);
  // Gives text and expression values the file that evaluates them (recursive for classes, arrays).
  virtual void SetFile(ParamFile* file) = 0;
  virtual void AddValue(const char* name, int value);
  virtual void AddValue(const char* name, float value);
  virtual void AddValue(const char* name, const char* value);
  virtual Ref<ParamClass> AddClass(const char* name, bool guaranteedUnique = false, bool declarationOnly = false);
  virtual ParamEntryPtr AddArray(const char* name);
  virtual void Clear();
  virtual void Delete(const char* name);
  virtual void AddValue(const char* value);     // array elements
  virtual void AddValue(int value);
  virtual void AddValue(float value);
  virtual IParamArrayValue* AddArray();
  virtual int GetEntryCount() const;
  virtual ParamEntryPtr GetEntry(int index) const;
  virtual void BuildIndex();
  virtual const IParamArrayValue& operator[](int index) const;
  virtual int GetSize() const;
  virtual void DeleteValue(int index);
  virtual ParamEntryPtr FindEntryNoInheritance(const char* name, const IParamVisibleTest& test = GParamEntryAllVisible) const;
  virtual ParamEntryPtr FindEntry(const char* name, const IParamVisibleTest& test = GParamEntryAllVisible) const;
  virtual bool HasVisibleEntry(const char* name, const IParamVisibleTest& test = GParamEntryAllVisible) const;
  virtual ParamEntryPtr FindClassPath(const char* path) const;
  virtual ParamEntryPtr GetClass(const char* name) const;
  virtual bool LoadBases(const IParamVisibleTest& test, bool recursive);
  virtual ParamEntryPtr GetParent() const;
  virtual ParamEntryPtr GetBase() const;
  // Writes the text form at `indent` tabs, ending lines with `lineEnd`.
  virtual void Save(QOStream& out, int indent, const char* lineEnd) const;
  // Transfers the entry's record (loading or saving) in the binary format.
  virtual void SerializeBin(SerializeBinStream& stream, ParamFileContext& context) = 0;
  virtual void Compact() {}
  virtual void Reserve(int /*count*/) {}
  virtual void ReserveArrayElements(int /*count*/) {}
  virtual void AddChecksum(IParamChecksum& sum) const = 0;
  virtual bool HasChecksum() const { return false; }

 protected:
  // The error at level 3 with this entry's context name: format has one "%s".
  void ReportEntryError(const char* format) const;
  // "'%s' is not a class ('%s' accessed)".
  void ReportNotClass(const char* accessed) const;

  RefString name_;
};

// Shares `text` through the process-wide string bank (empty text: no block).
RefString ParamShareName(const char* text);
// Case-insensitive comparison of two names (0 when equal).
int ParamNameCompare(const char* a, const char* b);
// The internal diagnostic "%s(%d) : %s" of the config library.
void ParamReportDiagnostic(int line, const char* text);
#define PARAM_DIAGNOSTIC(text) ParamReportDiagnostic(__LINE__, text)
#define PARAM_ASSERT(condition) ZR_ASSERT("paramFile", condition)
