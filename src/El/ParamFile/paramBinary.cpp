// The binary form: one transfer routine per entry kind for both directions, the class body reader
// and writer, the header, and the reloading of classes through their owner.

#include "El/ParamFile/paramBinary.h"

#include <cstring>
#include <vector>

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramFile.h"
#include "El/QStream/fileServer.h"
#include "El/QStream/qstream.h"
#include "El/QStream/serializeBin.h"

namespace {

constexpr int kStructureError = PBRBadStructure;

void StructureError(SerializeBinStream& stream) {
  if (stream.GetError() == 0) {
    PARAM_DIAGNOSTIC("FileStructure error");
    stream.SetError(kStructureError);
  }
}

std::int64_t DataSize(SerializeBinStream& stream) {
  return stream.GetLoadStream() ? stream.GetLoadStream()->GetDataSize() : 0;
}

std::int64_t Remaining(SerializeBinStream& stream) {
  std::int64_t left = DataSize(stream) - stream.TellG();
  return left < 0 ? 0 : left;
}

// One byte; the end of input reads as 255.
int ReadByte(SerializeBinStream& stream) {
  const int byte = stream.GetLoadStream()->get();
  return byte < 0 ? 255 : byte;
}

void WriteByte(SerializeBinStream& stream, int value) {
  unsigned char byte = static_cast<unsigned char>(value);
  stream.TransferBytes(&byte, 1);
}

// A dword that must be present: a short read is a structure error.
bool TransferDword(SerializeBinStream& stream, std::int32_t& value) {
  if (stream.IsLoading() && Remaining(stream) < 4) {
    StructureError(stream);
    return false;
  }
  stream.TransferInt(value);
  return stream.GetError() == 0;
}

int EntryValueType(const ParamEntry& entry) {
  if (entry.IsExpression()) return PVTExpression;
  if (entry.IsTextValue()) return PVTText;
  if (entry.IsFloatValue()) return PVTFloat;
  return PVTInt;
}

// The element list of an array or nested array element.
// `depth` counts array levels from 0 for an entry's own element list, as the text parser counts them,
// so that a tree loads in either form exactly when it loads in the other.
bool TransferElements(SerializeBinStream& stream, ParamFileContext& context, ParamRawArray& items, int depth) {
  if (depth >= kParamMaxNesting) {
    StructureError(stream);
    return false;
  }
  int count = items.Size();
  if (!context.TransferCount(stream, count, 2)) return false;
  if (stream.IsSaving()) {
    for (const Ref<IParamArrayValue>& item : items) {
      WriteByte(stream, item->GetValueType());
      if (!item->SerializeBin(stream, context, depth + 1)) return false;
    }
    return stream.GetError() == 0;
  }
  items.Clear();
  items.Reserve(count);
  for (int i = 0; i < count; ++i) {
    int type = ReadByte(stream);
    if (type > PVTExpression) {
      RefString message = RefString::Format("Unknown array value type %d", type);
      PARAM_DIAGNOSTIC(message);
    }
    Ref<IParamArrayValue> item = NewParamArrayValue(type);
    if (!item->SerializeBin(stream, context, depth + 1)) return false;
    items.Add(item);
  }
  return true;
}

// Where a member class's body lies, as read from its record.
struct PendingBody {
  ParamClass* cls;
  int memberIndex;
  std::int32_t position;
};

class ClassBodyReader {
 public:
  ClassBodyReader(SerializeBinStream& stream, ParamFileContext& context) : stream_(stream), context_(context) {}

  // Reads the body of `cls` (at `memberIndex` in its parent, -1 when not there). The body and its
  // nested bodies must end by `limit`.
  bool Read(ParamClass& cls, int memberIndex, std::int64_t limit, int depth);

 private:
  bool Fail() {
    StructureError(stream_);
    return false;
  }
  void ResolveBase(ParamClass& cls, int memberIndex, const RefString& baseName);
  bool ReadMember(ParamClass& cls, std::int64_t limit, int depth, std::vector<PendingBody>& bodies);
  bool ReadBodies(ParamClass& cls, std::int64_t limit, int depth, std::vector<PendingBody>& bodies);

  SerializeBinStream& stream_;
  ParamFileContext& context_;
};

void ClassBodyReader::ResolveBase(ParamClass& cls, int memberIndex, const RefString& baseName) {
  if (baseName.IsEmpty()) return;
  ParamClass* parent = cls.GetParentClass();
  ParamEntryPtr found;
  if (parent) {
    int index = parent->FindMember(baseName);
    if (index >= 0 && (memberIndex < 0 || index < memberIndex)) {
      ParamEntry* entry = parent->MakeLoaded(index);
      if (entry->IsClass()) found = ParamEntryPtr(static_cast<ParamClass*>(entry), entry);
    } else {
      if (parent->GetBaseClass()) found = parent->GetBaseClass()->FindScoped(baseName);
      if (!found && parent->GetParentClass()) found = parent->GetParentClass()->FindScoped(baseName);
    }
  }
  if (!found || !found->IsClass() || found.GetPointer() == &cls) {
    WarningMessage("Cannot find base %s for %s", baseName.Data(), cls.GetContext().Data());
    return;
  }
  cls.SetBase(static_cast<ParamClass*>(found.GetPointer()));
}

bool ClassBodyReader::Read(ParamClass& cls, int memberIndex, std::int64_t limit, int depth) {
  // The root's body is at depth 0; the text parser takes class bodies up to depth kParamMaxNesting - 1.
  if (depth >= kParamMaxNesting) return Fail();
  const int version = context_.version;
  if (version < 7) {
    RefString name;
    if (!context_.TransferString(stream_, name, true)) return false;
    cls.SetSharedName(name);
  }
  cls.SetOwner(context_.owner.GetRef(), false);

  RefString baseName;
  if (!context_.TransferString(stream_, baseName, true)) return false;
  ResolveBase(cls, memberIndex, baseName);

  int count = 0;
  if (!context_.TransferCount(stream_, count, 2)) return false;
  cls.Reserve(cls.GetEntryCount() + count);
  // Large classes get a name index while loading, so that duplicate checks and base lookups stay fast.
  const bool temporaryIndex = count > 64;
  if (temporaryIndex) cls.BuildLoadIndex(cls.GetEntryCount() + count);

  std::vector<PendingBody> bodies;
  if (version >= 7) bodies.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (!ReadMember(cls, limit, depth, bodies)) return false;
  }
  if (version >= 7 && !ReadBodies(cls, limit, depth, bodies)) return false;
  if (temporaryIndex) cls.DropIndex();
  cls.InheritAccess();
  return stream_.GetError() == 0;
}

bool ClassBodyReader::ReadMember(ParamClass& cls, std::int64_t limit, int depth, std::vector<PendingBody>& bodies) {
  const int type = ReadByte(stream_);
  switch (type) {
    case 0: {
      if (context_.version < 7) {
        auto* member = new ParamClass();
        member->SetParent(&cls);
        const std::int64_t start = stream_.TellG();
        member->SetSource(static_cast<std::int32_t>(start), 0);
        if (!Read(*member, -1, limit, depth + 1)) {
          member->DropLinksRecursive();
          delete member;
          return false;
        }
        member->SetSource(static_cast<std::int32_t>(start), static_cast<std::int32_t>(stream_.TellG() - start));
        cls.AddEntry(member);
        return true;
      }
      RefString name;
      std::int32_t position = 0;
      if (!context_.TransferString(stream_, name, true) || !TransferDword(stream_, position)) return false;
      auto* member = new ParamClass(name);
      member->SetParent(&cls);
      const int before = cls.GetEntryCount();
      const int index = cls.AddEntry(member);
      if (index < before) {
        // It replaced a member of the same name: a body read for that one would have no class.
        for (PendingBody& body : bodies) {
          if (body.memberIndex == index) body.cls = nullptr;
        }
      }
      bodies.push_back({member, index, position});
      return true;
    }
    case 1: {
      const int valueType = ReadByte(stream_);
      if (valueType > PVTExpression || valueType == PVTArray) {
        RefString message = RefString::Format("Unknown value type %d", valueType);
        PARAM_DIAGNOSTIC(message);
      }
      ParamEntry* value = NewParamValue(valueType, RefString());
      value->SerializeBin(stream_, context_);
      if (stream_.GetError() != 0) {
        delete value;
        return false;
      }
      // Shared names compare by identity: this is the case-sensitive test for "access".
      static const RefString access = ParamShareName("access");
      if (value->GetName().Block() == access.Block()) {
        const int level = value->GetInt();
        ZR_ASSERT("paramFile", level > PADefault || !"_access>PADefault");
        cls.SetAccess(level);
      }
      cls.AddEntry(value);
      return true;
    }
    case 2: {
      auto* array = new ParamArray();
      RefString name;
      if (!context_.TransferString(stream_, name, true) ||
          !TransferElements(stream_, context_, array->Elements(), 0)) {
        delete array;
        return false;
      }
      array->SetSharedName(name);
      cls.AddEntry(array);
      return true;
    }
    case 3:
    case 4: {
      RefString name;
      if (!context_.TransferString(stream_, name, true)) return false;
      ParamClass* marker = type == 3 ? static_cast<ParamClass*>(new ParamClassDecl(name)) : new ParamClassDelete(name);
      marker->SetParent(&cls);
      cls.AddEntry(marker);
      return true;
    }
    default:
      PARAM_DIAGNOSTIC("Uknown entry type");
      // Nothing more can be read for an unknown record: at the end of input this ends the class.
      if (Remaining(stream_) == 0) return Fail();
      return true;
  }
}

bool ClassBodyReader::ReadBodies(ParamClass& cls, std::int64_t limit, int depth, std::vector<PendingBody>& bodies) {
  std::int32_t end = 0;
  if (!TransferDword(stream_, end)) return false;
  const std::int64_t recordsEnd = stream_.TellG();
  if (end < recordsEnd || end > limit) return Fail();
  // Bodies follow the records in member order and each ends where the next begins.
  std::int64_t previous = recordsEnd - 1;
  for (const PendingBody& body : bodies) {
    if (body.position <= previous || body.position >= end) return Fail();
    previous = body.position;
  }
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    const PendingBody& body = bodies[i];
    const std::int64_t next = i + 1 < bodies.size() ? bodies[i + 1].position : end;
    if (!body.cls) continue;
    const std::int32_t size = static_cast<std::int32_t>(next - body.position);
    IParamClassSource* owner = context_.owner.GetRef();
    if (owner && owner->CanUnload() && !context_.loadEverything) {
      body.cls->DropLinksRecursive();
      cls.ReplaceEntry(body.memberIndex, new ParamClassPlaceholder(body.cls->GetName(), owner, body.position, size));
      continue;
    }
    stream_.SeekG(body.position);
    if (!Read(*body.cls, body.memberIndex, next, depth + 1)) return false;
    if (stream_.TellG() > next) return Fail();
    body.cls->SetSource(body.position, static_cast<std::int32_t>(stream_.TellG() - body.position));
  }
  stream_.SeekG(end);
  return true;
}

// Writes the body of `cls` (the class's records, then the bodies of its defined member classes).
void WriteClassBody(SerializeBinStream& stream, ParamFileContext& context, ParamClass& cls) {
  RefString baseName = cls.GetBaseClass() ? cls.GetBaseClass()->GetName() : RefString();
  context.TransferString(stream, baseName, false);
  int count = cls.GetEntryCount();
  context.TransferCount(stream, count, 0);
  std::vector<std::pair<ParamClass*, std::int64_t>> slots;
  for (int i = 0; i < count; ++i) {
    ParamEntry* entry = cls.MakeLoaded(i);
    if (entry->IsClass()) {
      auto* member = static_cast<ParamClass*>(entry);
      WriteByte(stream, member->IsDelete() ? 4 : member->IsDefined() ? 0 : 3);
      RefString name = member->GetName();
      context.TransferString(stream, name, false);
      if (member->IsDefined()) slots.emplace_back(member, stream.ReserveOffset());
    } else if (entry->IsArray()) {
      WriteByte(stream, 2);
      entry->SerializeBin(stream, context);
    } else {
      WriteByte(stream, 1);
      WriteByte(stream, EntryValueType(*entry));
      entry->SerializeBin(stream, context);
    }
  }
  const std::int64_t endSlot = stream.ReserveOffset();
  for (const auto& slot : slots) {
    stream.FillOffset(slot.second);
    WriteClassBody(stream, context, *slot.first);
  }
  stream.FillOffset(endSlot);
}

const char* SourceNameOf(const IParamClassSource* owner, RefString& holder) {
  if (!owner) return "No source";
  holder = owner->GetSourceName();
  return holder.Data();
}

}  // namespace

bool ParamTransferCompactInt(SerializeBinStream& stream, std::uint32_t& value) {
  if (stream.IsSaving()) {
    std::uint32_t rest = value;
    do {
      int byte = static_cast<int>(rest & 0x7F);
      rest >>= 7;
      WriteByte(stream, rest ? byte | 0x80 : byte);
    } while (rest);
    return stream.GetError() == 0;
  }
  std::uint32_t result = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    if (Remaining(stream) < 1) {
      StructureError(stream);
      return false;
    }
    const int byte = ReadByte(stream);
    if (shift == 28 && byte > 0x0F) break;  // more than 32 bits
    result |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) {
      value = result;
      return true;
    }
  }
  StructureError(stream);
  return false;
}

bool ParamFileContext::TransferMagic(SerializeBinStream& stream) {
  if (stream.IsLoading() && Remaining(stream) < 4) {
    stream.SetError(PBRBadMagic);
    return false;
  }
  if (!stream.Version(static_cast<int>(kParamBinMagic), static_cast<int>(kParamBinMagic))) {
    stream.SetError(PBRBadMagic);
    return false;
  }
  return true;
}

bool ParamFileContext::TransferCount(SerializeBinStream& stream, int& count, int minItemSize) {
  if (version < 4) {
    std::int32_t value = count;
    if (!TransferDword(stream, value)) return false;
    count = value;
  } else {
    std::uint32_t value = static_cast<std::uint32_t>(count);
    if (!ParamTransferCompactInt(stream, value)) return false;
    count = value > 0x7FFFFFFF ? -1 : static_cast<int>(value);
  }
  if (stream.IsLoading() && (count < 0 || static_cast<std::int64_t>(count) * minItemSize > Remaining(stream))) {
    StructureError(stream);
    return false;
  }
  return true;
}

bool ParamFileContext::ReadStringBytes(SerializeBinStream& stream) {
  scratch_.clear();
  if (stream.GetLoadStream()->GetUntil('\0', scratch_)) return true;
  ReportPositionError("serializeBin", __LINE__, "EOF in string");
  if (stream.GetError() == 0) stream.SetError(kStructureError);
  return false;
}

bool ParamFileContext::TransferString(SerializeBinStream& stream, RefString& text, bool shared) {
  if (stream.IsSaving()) {
    stream.TransferString(text);
    return stream.GetError() == 0;
  }
  if (version >= 8) {
    if (!ReadStringBytes(stream)) return false;
    text = (shared ? names_ : texts_).Share(scratch_).text;
    return true;
  }
  std::uint32_t index = 0;
  if (version < 3) {
    std::int32_t value = 0;
    if (!TransferDword(stream, value)) return false;
    index = static_cast<std::uint32_t>(value);
  } else if (!ParamTransferCompactInt(stream, index)) {
    return false;
  }
  const std::uint32_t known = static_cast<std::uint32_t>(strings.Size());
  if (version < 7 && index == known) {
    stream.TransferString(text);
    if (stream.GetError() != 0) return false;
    text = ParamShareName(text);
    strings.Add(text);
    return true;
  }
  if (index >= known) {
    StructureError(stream);
    return false;
  }
  text = strings[static_cast<int>(index)];
  return true;
}

int ParamReadBinHeader(SerializeBinStream& stream, ParamFileContext& context, const char* sourceName) {
  if (!context.TransferMagic(stream)) return PBRBadMagic;
  std::int32_t first = 0;
  if (!TransferDword(stream, first)) return stream.GetError();
  std::int32_t version = first;
  if (first == 0 && !TransferDword(stream, version)) return stream.GetError();
  if (version < 2 || version > 8 || version == 5 || version == 6 || (first == 0 && version < 7)) {
    ErrorMessage("Bad version %d in ParamFile %s", version, sourceName);
    stream.SetError(PBRBadVersion);
    return PBRBadVersion;
  }
  context.version = version;
  if (version < 8) LogF("Config %s uses old binary format %d - rebinarize", sourceName, version);
  if (version == 7) {
    std::int32_t tablePosition = 0;
    if (!TransferDword(stream, tablePosition) || !TransferDword(stream, context.trailerOffset)) {
      return stream.GetError();
    }
    const std::int64_t back = stream.TellG();
    if (tablePosition < back || tablePosition > DataSize(stream)) {
      StructureError(stream);
      return stream.GetError();
    }
    stream.SeekG(tablePosition);
    std::int32_t count = 0;
    if (!TransferDword(stream, count)) return stream.GetError();
    if (count < 0 || count > Remaining(stream)) {
      StructureError(stream);
      return stream.GetError();
    }
    context.strings.Reserve(count);
    for (int i = 0; i < count; ++i) {
      RefString text;
      stream.TransferString(text);
      if (stream.GetError() != 0) return stream.GetError();
      context.strings.Add(ParamShareName(text));
    }
    stream.SeekG(back);
  } else if (version == 8) {
    if (!TransferDword(stream, context.trailerOffset)) return stream.GetError();
  }
  if (version > 5 && (context.trailerOffset < stream.TellG() || context.trailerOffset > DataSize(stream))) {
    StructureError(stream);
    return stream.GetError();
  }
  return 0;
}

void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name, ParamRawValue& raw) {
  if (context.TransferString(stream, name, true)) ParamTransferPayload(stream, context, raw);
}
void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name,
                        ParamRawValueExpression& raw) {
  if (context.TransferString(stream, name, true)) ParamTransferPayload(stream, context, raw);
}
void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name, ParamRawValueInt& raw) {
  if (context.TransferString(stream, name, true)) ParamTransferPayload(stream, context, raw);
}
void ParamTransferValue(SerializeBinStream& stream, ParamFileContext& context, RefString& name,
                        ParamRawValueFloat& raw) {
  if (context.TransferString(stream, name, true)) ParamTransferPayload(stream, context, raw);
}

bool ParamTransferPayload(SerializeBinStream& stream, ParamFileContext& context, ParamRawValue& raw) {
  if (stream.IsLoading()) raw.file = context.file;
  return context.TransferString(stream, raw.text, false);
}
bool ParamTransferPayload(SerializeBinStream& stream, ParamFileContext&, ParamRawValueInt& raw) {
  return TransferDword(stream, raw.value);
}
bool ParamTransferPayload(SerializeBinStream& stream, ParamFileContext&, ParamRawValueFloat& raw) {
  if (stream.IsLoading() && Remaining(stream) < 4) {
    StructureError(stream);
    return false;
  }
  stream.TransferBytes(&raw.value, 4);
  return stream.GetError() == 0;
}

bool ParamArrayValueArray::SerializeBin(SerializeBinStream& stream, ParamFileContext& context, int depth) {
  return TransferElements(stream, context, items_, depth);
}

void ParamArray::SerializeBin(SerializeBinStream& stream, ParamFileContext& context) {
  if (context.TransferString(stream, name_, true)) TransferElements(stream, context, value_, 0);
}

void ParamClass::SerializeBin(SerializeBinStream& stream, ParamFileContext& context) {
  if (stream.IsSaving()) {
    WriteClassBody(stream, context, *this);
    return;
  }
  ClassBodyReader reader(stream, context);
  reader.Read(*this, -1, DataSize(stream), 0);
}

void ParamClassPlaceholder::SerializeBin(SerializeBinStream&, ParamFileContext&) {
  // The writer brings a placeholder's class into memory first; a placeholder itself has no record.
  PARAM_DIAGNOSTIC("Cannot save unloaded class");
}

ParamEntry* NewParamValue(int type, const RefString& name) {
  switch (type) {
    case PVTFloat: return new ParamValueFloat(name);
    case PVTInt: return new ParamValueInt(name);
    case PVTExpression: return new ParamValueExpression(name);
    default: return new ParamValueText(name);
  }
}

int ParamFile::ParseBin(QIStream& stream, IParamClassSource* owner, Evaluator* parent) {
  RefString name = name_;
  Clear();
  name_ = name;
  stream.PreRead(stream.GetDataSize() - stream.tellg());
  SerializeBinStream serializer(&stream);
  ParamFileContext context;
  context.loadEverything = true;
  RefString sourceHolder;
  const int header = ParamReadBinHeader(serializer, context, SourceNameOf(owner, sourceHolder));
  if (header != 0) return header;

  Ref<IParamClassSource> used = owner;
  if (owner) {
    owner->SetContext(context);
    if (context.version < 5 && owner->CanUnload()) {
      WarningMessage("Config %s may not be streamed, old version %d", sourceHolder.Data(), context.version);
      used = new ParamClassOwnerIndirectNoUnload(owner);
    }
  }
  context.owner = used;

  context.file = this;  // values are given the file as they are read
  ClassBodyReader reader(serializer, context);
  const std::int64_t limit = context.version > 5 ? context.trailerOffset : DataSize(serializer);
  {
    // Classes that may be unloaded must give their memory back: they come from the heap.
    ParamArenaScope arena(used && used->CanUnload() ? nullptr : GetArena());
    reader.Read(*this, -1, limit, 0);
  }
  if (context.version > 5 && serializer.GetError() == 0) serializer.SeekG(context.trailerOffset);
  if (used && used->CanUnload()) SetMemoryHookRegistered(true);
  if (serializer.GetError() != 0) {
    SetFile(nullptr);  // a failed load leaves its entries without the file
  } else {
    if (!HasEvaluator()) CreateEvaluator(parent);
    // Files before version 6 end with the root body: they carry no evaluator state.
    if (context.version > 5) GetEvaluator()->LoadVariables(serializer);
  }
  return serializer.GetError();
}

int ParamFile::ParseBin(const char* fileName, IParamClassSource* owner, Evaluator* parent) {
  SetName(fileName);
  if (!QFileExists(fileName)) return PBRNoFile;
  QIFStream stream;
  stream.open(fileName);
  const int result = ParseBin(stream, owner, parent);
  SetName(fileName);
  return result;
}

bool ParamFile::SaveBin(QOStream& out) {
  SerializeBinStream serializer(&out);
  ParamFileContext context;
  context.TransferMagic(serializer);
  std::int32_t zero = 0;
  std::int32_t version = kParamBinVersion;
  serializer.TransferInt(zero);
  serializer.TransferInt(version);
  const std::int64_t trailerSlot = serializer.ReserveOffset();
  WriteClassBody(serializer, context, *this);
  serializer.FillOffset(trailerSlot);
  GetEvaluator()->SaveVariables(serializer);
  return serializer.GetError() == 0 && !out.Fail();
}

bool ParamFile::SaveBin(const char* fileName) {
  QOFStream out(fileName);
  const bool written = SaveBin(out);
  out.Close();
  return written && !out.Fail();
}

bool ParamClassOwnerFilename::LoadClass(ParamClass& cls) {
  QIFStreamB stream;
  stream.open(fileName_);
  SerializeBinStream serializer(&stream);
  ParamFileContext context;
  context.loadEverything = false;
  context.owner = this;
  const int header = ParamReadBinHeader(serializer, context, fileName_);
  if (header != 0) {
    if (header == PBRBadMagic || header == PBRBadVersion) {
      ErrorMessage("Bad format while loading %s", cls.GetContext().Data());
    } else {
      ErrorMessage("Error while loading %s", cls.GetContext().Data());
    }
    return false;
  }
  if (context.version < 5) LogF("Streaming with old version %d may be buggy", context.version);
  if (cls.GetSourceOffset() < 0) {
    ReportAssertionFailed("paramFile", __LINE__, "cls._sourceOffset>=0");
    return false;
  }
  int depth = 0;
  for (const ParamClass* up = cls.GetParentClass(); up; up = up->GetParentClass()) ++depth;
  int memberIndex = -1;
  if (ParamClass* parent = cls.GetParentClass()) {
    for (int i = 0; i < parent->GetEntryCount(); ++i) {
      if (parent->EntryAt(i) == &cls) memberIndex = i;
    }
  }
  serializer.SeekG(cls.GetSourceOffset());
  ClassBodyReader reader(serializer, context);
  const std::int64_t limit = static_cast<std::int64_t>(cls.GetSourceOffset()) + cls.GetSourceSize();
  context.file = cls.GetRootFile();
  const bool read = reader.Read(cls, memberIndex, limit, depth);
  if (!read) ErrorMessage("Error while loading %s", cls.GetContext().Data());
  return read;
}
